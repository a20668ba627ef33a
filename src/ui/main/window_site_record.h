#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/common/device_entry.h"
#include "core/site/site_problems.h"

class CSiteRecorder;
class QWidget;

// The window's site record: the site named in the settings, opened once the control core runs
// and fed like the command line's (the core's discovery answers and configuration reports),
// plus the problems of every list refresh and the operations of the window's dialogs
// (RecordSiteOperation reaches the recorder open here). The writing runs on the recorder's own
// thread; a notice (a damaged file moved aside, a full disk) is shown once in a message box.
//
// A new site name from the settings switches the record at once: what the old one queued is
// written and it is closed, then the new one is opened.
class CWindowSiteRecord {
public:
  // Opens the site of the settings (ReadSiteSetting).
  explicit CWindowSiteRecord(QWidget* owner);
  ~CWindowSiteRecord();
  CWindowSiteRecord(const CWindowSiteRecord&) = delete;
  CWindowSiteRecord& operator=(const CWindowSiteRecord&) = delete;

  // The record of the window, or null while none is open.
  static CWindowSiteRecord* Current();

  void RecordProblems(const std::vector<DEVICE_ENTRY_T>& table, const SiteProblemMap& problems);
  // Closes the open site cleanly and opens `name` (a valid site name). Nothing when it is the
  // open one.
  void SwitchTo(const std::string& name);
  const std::string& SiteName() const { return m_siteName; }
  // Writes what is queued now (before a report reads the record).
  void Flush();
  // Recording into the site now (false when it could not be opened or recording stopped).
  bool Recording() const;

private:
  void Open(const std::string& name);
  void Close();

  QWidget* m_owner;
  std::string m_siteName;
  std::unique_ptr<CSiteRecorder> m_recorder;
};
