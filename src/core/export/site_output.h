#pragma once

#include <chrono>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "core/common/device_entry.h"
#include "core/site/device_status.h"
#include "core/site/site_events.h"
#include "core/site/site_problems.h"

// How the command line and the site agent show the live state and the problems of the site:
// extra JSON fields of a device, the problems summary under the scan table, and one line (text
// or JSON) per watch event. Times of the tracker's clock become wall-clock times through the
// snapshot.
class CSiteOutput {
public:
  // wallAtSnapshot: the system clock read when the snapshot was taken.
  CSiteOutput(const STATUS_SNAPSHOT_T& status, const SiteProblemMap& problems,
              std::vector<IPV4_SUBNET_T> subnets,
              std::chrono::system_clock::time_point wallAtSnapshot);

  // Adds "status", "new", "first_seen", "last_seen" and "problems" ([{code, text, detail}]).
  void AddDeviceFields(const DEVICE_ENTRY_T& device, nlohmann::json& object) const;
  // "Problems: 3 devices" and one line per device and problem; "" when the site has none.
  std::string ProblemSummary(const std::vector<DEVICE_ENTRY_T>& devices) const;

  // One watch event as text ("13:05:01  missing  02:1A:...  10.213.1.5  last seen 13:04:41")
  // or as one JSON object on one line.
  std::string EventLine(const SITE_EVENT_T& event) const;
  std::string EventJson(const SITE_EVENT_T& event) const;
  // The same event as a JSON object (the site agent adds its site and sequence number).
  nlohmann::json EventObject(const SITE_EVENT_T& event) const;

  // "2026-12-10T13:05:01.250Z"
  static std::string IsoTime(std::chrono::system_clock::time_point time);
  // "13:05:01" in local time.
  static std::string ClockTime(std::chrono::system_clock::time_point time);

  std::chrono::system_clock::time_point WallTime(std::chrono::milliseconds trackerTime) const;

private:
  const STATUS_SNAPSHOT_T& m_status;
  const SiteProblemMap& m_problems;
  std::vector<IPV4_SUBNET_T> m_subnets;
  std::chrono::system_clock::time_point m_wallAtSnapshot;
};
