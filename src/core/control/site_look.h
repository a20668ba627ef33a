#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/common/device_entry.h"
#include "core/site/device_status.h"
#include "core/site/site_events.h"
#include "core/site/site_problems.h"

class CControl;

// Where a look at the site reads from: the control core's device table and its version, the
// status tracker, the capture adapter's networks. A test gives its own.
struct SITE_LOOK_SOURCES_T {
  std::function<std::vector<DEVICE_ENTRY_T>(uint64_t* version)> table;
  std::function<uint64_t()> tableVersion;
  std::function<STATUS_SNAPSHOT_T()> status;
  // Whether a snapshot now would differ from the one stamped; `now` gets the tracker's time.
  std::function<bool(const STATUS_STAMP_T&, std::chrono::milliseconds* now)> statusChanged;
  std::function<std::vector<IPV4_SUBNET_T>()> subnets;

  // The control core's table and tracker, and the networks as read once (the command line
  // reads them while the capture is open; the window gives its own sources and follows a new
  // address of the adapter).
  static SITE_LOOK_SOURCES_T Of(CControl* control, std::vector<IPV4_SUBNET_T> subnets);
};

// Called with the table and its problems whenever the problems were worked out anew (the site
// record keeps the problem events; it compares with what it holds itself).
using SiteProblemHook =
    std::function<void(const std::vector<DEVICE_ENTRY_T>&, const SiteProblemMap&)>;

// What one look found. The table, statuses and problems stay the service's until its next look.
struct SITE_NOW_T {
  // The table or the networks moved: the problems were worked out again.
  bool tableChanged = false;
  // A new status snapshot was taken (some device's status may differ).
  bool statusChanged = false;
  std::chrono::milliseconds now{0};  // the tracker's time at the look
  const std::vector<DEVICE_ENTRY_T>* table = nullptr;
  const STATUS_SNAPSHOT_T* status = nullptr;  // its `now` is the look's
  const SiteProblemMap* problems = nullptr;
  const std::vector<IPV4_SUBNET_T>* subnets = nullptr;
  int onlineCount = 0;  // devices of the table that are not missing
  // Positions in the table of the devices whose entry, status (online, missing, back, new) or
  // problems differ from the previous look, new devices included, in table order. Devices that
  // left the table are in `gone` (MAC texts).
  std::vector<size_t> changed;
  std::vector<std::string> gone;
  // The watch's events of this look (see CSiteLook::Watch).
  std::vector<SITE_EVENT_T> events;

  bool Kept() const { return !tableChanged && !statusChanged; }
};

// "The site now", as every front end needs it once a second: the device table, the devices'
// statuses, the site's problems, the watch's events and which devices changed. Most seconds
// nothing moved (devices answer the same every round): the table's version and the tracker's
// change count say so, and then a look copies, hashes and walks nothing. The problems are
// worked out only for a new table or new networks; statuses and events only when the table or
// the tracker moved. Not thread-safe: one owner looks.
class CSiteLook {
public:
  explicit CSiteLook(SITE_LOOK_SOURCES_T sources, SiteProblemHook problemHook = {});

  // Events are worked out from the second look on (the first is the baseline, as CSiteWatch
  // has it) only when watching: the window needs none.
  void Watch() { m_watching = true; }
  const SITE_WATCH_SUMMARY_T& WatchSummary() const { return m_watch.Summary(); }

  // freshStatus: take a snapshot even when the tracker says nothing moved.
  const SITE_NOW_T& Look(bool freshStatus = false);
  const SITE_NOW_T& Last() const { return m_now; }
  // The device with that MAC (the table's key) in the last look's table; null when absent.
  const DEVICE_ENTRY_T* Find(const std::string& mac) const;

private:
  // What the previous look showed of a device, to tell which changed.
  struct SHOWN_T {
    DEVICE_ENTRY_T entry;
    EDeviceStatus status = EDeviceStatus::kOnline;
    bool known = false;
    bool isNew = false;
    std::vector<SITE_PROBLEM_T> problems;
  };
  void NoteChanges();

  SITE_LOOK_SOURCES_T m_sources;
  SiteProblemHook m_problemHook;
  bool m_watching = false;
  CSiteWatch m_watch;

  uint64_t m_tableVersion = ~0ull;
  std::vector<DEVICE_ENTRY_T> m_table;
  std::unordered_map<std::string, size_t> m_index;  // MAC -> position in m_table
  STATUS_STAMP_T m_statusStamp;
  STATUS_SNAPSHOT_T m_status;
  std::vector<IPV4_SUBNET_T> m_subnets;
  bool m_subnetsRead = false;
  SiteProblemMap m_problems;
  // Per device, by MAC: what the previous look showed.
  std::unordered_map<std::string, SHOWN_T> m_shown;
  SITE_NOW_T m_now;
};
