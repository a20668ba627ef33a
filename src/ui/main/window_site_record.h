#pragma once

#include <memory>
#include <vector>

#include "core/device_entry.h"
#include "core/site_problems.h"

class CSiteRecorder;
class QWidget;

// The window's site record: the site named in the settings, opened once the control core runs
// and fed like the command line's (the core's discovery answers and configuration reports),
// plus the problems of every list refresh. The writing runs on the recorder's own thread; a
// notice (a damaged file moved aside, a full disk) is shown once in a message box.
class CWindowSiteRecord {
public:
  explicit CWindowSiteRecord(QWidget* owner);
  ~CWindowSiteRecord();
  CWindowSiteRecord(const CWindowSiteRecord&) = delete;
  CWindowSiteRecord& operator=(const CWindowSiteRecord&) = delete;

  void RecordProblems(const std::vector<DEVICE_ENTRY_T>& table, const SiteProblemMap& problems);

private:
  std::unique_ptr<CSiteRecorder> m_recorder;
};
