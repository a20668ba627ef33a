#include "core/site/site_events.h"

#include <algorithm>

namespace {

bool HasCode(const std::vector<SITE_PROBLEM_T>& problems, EProblemCode code) {
  return std::any_of(problems.begin(), problems.end(),
                     [code](const SITE_PROBLEM_T& p) { return p.code == code; });
}

}  // namespace

const char* CSiteWatch::EventName(ESiteEvent kind) {
  switch (kind) {
    case ESiteEvent::kNew:
      return "new";
    case ESiteEvent::kMissing:
      return "missing";
    case ESiteEvent::kBack:
      return "back";
    case ESiteEvent::kChanged:
      return "changed";
    case ESiteEvent::kProblem:
      return "problem";
    case ESiteEvent::kProblemGone:
    default:
      return "problem_gone";
  }
}

std::vector<SITE_EVENT_T> CSiteWatch::Update(const std::vector<DEVICE_ENTRY_T>& table,
                                             const STATUS_SNAPSHOT_T& status,
                                             const SiteProblemMap& problems) {
  static const std::vector<SITE_PROBLEM_T> kNone;
  std::vector<SITE_EVENT_T> events;
  SITE_WATCH_SUMMARY_T counts;
  auto emit = [&](ESiteEvent kind, const DEVICE_ENTRY_T& device, const DEVICE_LIVE_T& live) {
    SITE_EVENT_T& event = events.emplace_back();
    event.kind = kind;
    event.time = status.now;
    event.device = device;
    event.lastSeen = live.lastSeen;
    return &event;
  };

  for (const DEVICE_ENTRY_T& device : table) {
    if (device.mac.empty()) continue;
    const DEVICE_LIVE_T live = status.LiveOf(device.mac);
    const auto found = problems.find(device.mac);
    const std::vector<SITE_PROBLEM_T>& now = found != problems.end() ? found->second : kNone;
    ++counts.devices;
    if (live.status == EDeviceStatus::kMissing) {
      ++counts.missing;
    } else {
      ++counts.online;
    }
    if (!now.empty()) ++counts.withProblems;

    // The table takes an answer a moment before the tracker does: judge the device at the next
    // look, when both know it, so its "new" is not lost.
    if (!live.known) continue;
    auto [it, first] = m_seen.try_emplace(device.mac);
    SEEN_T& seen = it->second;
    if (first) {
      if (live.isNew) emit(ESiteEvent::kNew, device, live);
    } else {
      if (seen.device.ip != device.ip || seen.device.firmware != device.firmware) {
        emit(ESiteEvent::kChanged, device, live)->before = seen.device;
      }
      const bool wasMissing = seen.status == EDeviceStatus::kMissing;
      const bool isMissing = live.status == EDeviceStatus::kMissing;
      if (!wasMissing && isMissing) emit(ESiteEvent::kMissing, device, live);
      if (wasMissing && !isMissing) emit(ESiteEvent::kBack, device, live);
    }
    for (const SITE_PROBLEM_T& old : seen.problems) {
      if (!HasCode(now, old.code)) emit(ESiteEvent::kProblemGone, device, live)->problem = old;
    }
    for (const SITE_PROBLEM_T& problem : now) {
      if (!HasCode(seen.problems, problem.code))
        emit(ESiteEvent::kProblem, device, live)->problem = problem;
    }
    seen.device = device;
    seen.status = live.status;
    seen.problems = now;
  }

  for (size_t i = 0; i < 6; ++i) counts.events[i] = m_summary.events[i];
  for (const SITE_EVENT_T& event : events) ++counts.events[static_cast<size_t>(event.kind)];
  m_summary = counts;
  return events;
}
