#include "core/site/device_status.h"

#include <algorithm>

#include "core/common/op_clock.h"

CDeviceStatusTracker::CDeviceStatusTracker() : m_clock(&SteadyOpClock()) {}

void CDeviceStatusTracker::SetClock(IOpClock* clock) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_clock = clock != nullptr ? clock : &SteadyOpClock();
  ++m_changes;  // times of the old clock say nothing about the new one
  m_markEnds.clear();
}

uint64_t CDeviceStatusTracker::MissedRounds(const DEVICE_STATUS_T& device, uint64_t round) {
  // Rounds that are over (all before the one in progress) and came after its latest answer.
  const uint64_t over = round > 0 ? round - 1 : 0;
  return over > device.lastRound ? over - device.lastRound : 0;
}

void CDeviceStatusTracker::NoteFreshMark(std::chrono::milliseconds at) {
  const std::chrono::milliseconds end = at + kFreshFor;
  auto [step, added] = m_markEnds.try_emplace(end / kMarkStep, end, end);
  if (!added) {
    step->second.first = std::min(step->second.first, end);
    step->second.second = std::max(step->second.second, end);
  }
  // Ends long past are dropped; a caller whose snapshot is older than what is kept is told
  // that something changed.
  constexpr std::chrono::milliseconds kKeep{10000};
  while (!m_markEnds.empty() && m_markEnds.begin()->second.second + kKeep <= at) {
    m_markEndsFrom = m_markEnds.begin()->second.second + std::chrono::milliseconds(1);
    m_markEnds.erase(m_markEnds.begin());
  }
}

void CDeviceStatusTracker::MoveLastRound(uint64_t from, uint64_t to) {
  auto old = m_lastRoundCounts.find(from);
  if (old != m_lastRoundCounts.end() && --old->second == 0) m_lastRoundCounts.erase(old);
  ++m_lastRoundCounts[to];
}

void CDeviceStatusTracker::OnAnswer(const std::string& mac) { OnAnswer(mac, nullptr); }

void CDeviceStatusTracker::OnAnswer(const std::string& mac, HANDLE_T* handle) {
  if (!m_enabled.load(std::memory_order_relaxed)) return;
  std::lock_guard<std::mutex> lock(m_lock);
  const std::chrono::milliseconds now = m_clock->Now();
  // One lookup an answer at most: with a /16 the table is large and every step through it a
  // cache miss. A record stays where it is until it is erased (the map's nodes do not move).
  DEVICE_STATUS_T* known =
      handle != nullptr && handle->epoch == m_eraseEpoch ? handle->device : nullptr;
  bool inserted = false;
  if (known == nullptr) {
    auto it = m_devices.find(mac);
    inserted = it == m_devices.end();
    if (inserted) {
      if (!m_bound.Admit(m_devices.size())) return;
      it = m_devices.try_emplace(mac).first;
    }
    known = &it->second;
    if (handle != nullptr) *handle = {known, m_eraseEpoch};
  }
  DEVICE_STATUS_T& device = *known;
  if (inserted) {
    device.firstSeen = now;
    device.firstRound = m_round;
    ++m_changes;
    ++m_lastRoundCounts[m_round];
    if (m_round > m_baselineRound) NoteFreshMark(now);  // new until the mark runs out
  } else {
    if (MissedRounds(device, m_round) >= kMissingRounds) {
      device.backSince = now;
      ++m_changes;
      NoteFreshMark(now);
    } else if (device.backSince.count() >= 0 && now - device.backSince < kFreshFor) {
      ++m_changes;  // a back device's tooltip shows its latest answer
    }
    if (device.lastRound != m_round) MoveLastRound(device.lastRound, m_round);
  }
  device.lastSeen = now;
  device.lastRound = m_round;
}

void CDeviceStatusTracker::BeginRound() {
  std::lock_guard<std::mutex> lock(m_lock);
  ++m_round;
  // Devices whose latest answer came kMissingRounds + 1 rounds ago go missing now.
  if (m_round > kMissingRounds && m_lastRoundCounts.count(m_round - kMissingRounds - 1) != 0)
    ++m_changes;
}

void CDeviceStatusTracker::Reset() {
  std::lock_guard<std::mutex> lock(m_lock);
  m_devices.clear();
  ++m_eraseEpoch;
  m_lastRoundCounts.clear();
  m_baselineRound = m_round + 1;
  ++m_changes;
}

void CDeviceStatusTracker::Forget(const std::string& mac) {
  std::lock_guard<std::mutex> lock(m_lock);
  const auto it = m_devices.find(mac);
  if (it == m_devices.end()) return;
  auto count = m_lastRoundCounts.find(it->second.lastRound);
  if (count != m_lastRoundCounts.end() && --count->second == 0) m_lastRoundCounts.erase(count);
  m_devices.erase(it);
  ++m_eraseEpoch;
  ++m_changes;
}

STATUS_SNAPSHOT_T CDeviceStatusTracker::Snapshot() const {
  std::lock_guard<std::mutex> lock(m_lock);
  STATUS_SNAPSHOT_T snapshot;
  snapshot.now = m_clock->Now();
  snapshot.changes = m_changes;
  snapshot.round = m_round;
  snapshot.baselineRound = m_baselineRound;
  snapshot.devices = m_devices;
  return snapshot;
}

bool CDeviceStatusTracker::ChangedSince(const STATUS_STAMP_T& since,
                                        std::chrono::milliseconds* now) const {
  std::lock_guard<std::mutex> lock(m_lock);
  const std::chrono::milliseconds at = m_clock->Now();
  if (now != nullptr) *now = at;
  if (since.changes != m_changes || since.now < m_markEndsFrom) return true;
  // A mark that ran out after `since` and by now, an end in (since.now, at]: looked for in the
  // step of since.now and those after it (told yes when a step's ends lie on both sides).
  for (auto step = m_markEnds.lower_bound(since.now / kMarkStep);
       step != m_markEnds.end() && step->second.first <= at; ++step) {
    if (step->second.second > since.now) return true;
  }
  return false;
}

EDeviceStatus CDeviceStatusTracker::StatusOf(const DEVICE_STATUS_T& device,
                                             const STATUS_SNAPSHOT_T& at) {
  if (MissedRounds(device, at.round) >= kMissingRounds) return EDeviceStatus::kMissing;
  if (device.backSince.count() >= 0 && at.now - device.backSince < kFreshFor)
    return EDeviceStatus::kBack;
  return EDeviceStatus::kOnline;
}

DEVICE_LIVE_T STATUS_SNAPSHOT_T::LiveOf(const std::string& mac) const {
  DEVICE_LIVE_T live;
  const auto it = devices.find(mac);
  if (it == devices.end()) return live;
  const DEVICE_STATUS_T& device = it->second;
  live.known = true;
  live.status = CDeviceStatusTracker::StatusOf(device, *this);
  // Devices heard in the baseline round are what the installer found on opening the list.
  live.isNew =
      device.firstRound > baselineRound && now - device.firstSeen < CDeviceStatusTracker::kFreshFor;
  live.firstSeen = device.firstSeen;
  live.lastSeen = device.lastSeen;
  return live;
}

const char* StatusText(EDeviceStatus status) {
  switch (status) {
    case EDeviceStatus::kMissing:
      return "missing";
    case EDeviceStatus::kBack:
      return "back";
    case EDeviceStatus::kOnline:
    default:
      return "online";
  }
}
