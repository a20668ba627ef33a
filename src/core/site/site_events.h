#pragma once

#include <chrono>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/common/device_entry.h"
#include "core/site/device_status.h"
#include "core/site/site_problems.h"

// What changed on the site between two looks at it: a device first seen after the start, a
// device gone quiet or back, a changed IP or firmware, a problem found or gone. The command
// line's watch prints these; the rules live here so they are tested without a network.
enum class ESiteEvent { kNew, kMissing, kBack, kChanged, kProblem, kProblemGone };

struct SITE_EVENT_T {
  ESiteEvent kind = ESiteEvent::kNew;
  std::chrono::milliseconds time{0};  // the tracker's clock at the look that found it
  DEVICE_ENTRY_T device;              // as the table holds it now
  DEVICE_ENTRY_T before;              // kChanged: as it was
  SITE_PROBLEM_T problem;             // kProblem, kProblemGone
  std::chrono::milliseconds lastSeen{0};
};

struct SITE_WATCH_SUMMARY_T {
  size_t devices = 0;
  size_t online = 0;  // online or back
  size_t missing = 0;
  size_t withProblems = 0;
  size_t events[6] = {};  // by ESiteEvent
};

class CSiteWatch {
public:
  // Compares the table, its statuses and its problems with the previous look. Devices present at
  // the first look, and devices of the baseline round, raise no "new" event; their problems do
  // raise "problem" events. Events come in table order, per device: new, changed, missing or
  // back, then problems gone and problems found in code order.
  std::vector<SITE_EVENT_T> Update(const std::vector<DEVICE_ENTRY_T>& table,
                                   const STATUS_SNAPSHOT_T& status, const SiteProblemMap& problems);

  const SITE_WATCH_SUMMARY_T& Summary() const { return m_summary; }

  // "new", "missing", "back", "changed", "problem", "problem_gone".
  static const char* EventName(ESiteEvent kind);

private:
  struct SEEN_T {
    DEVICE_ENTRY_T device;
    EDeviceStatus status = EDeviceStatus::kOnline;
    std::vector<SITE_PROBLEM_T> problems;
  };
  std::unordered_map<std::string, SEEN_T> m_seen;
  SITE_WATCH_SUMMARY_T m_summary;
};
