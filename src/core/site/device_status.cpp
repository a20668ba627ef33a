#include "core/site/device_status.h"

#include "core/common/op_clock.h"

CDeviceStatusTracker::CDeviceStatusTracker() : m_clock(&SteadyOpClock()) {}

void CDeviceStatusTracker::SetClock(IOpClock* clock) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_clock = clock != nullptr ? clock : &SteadyOpClock();
}

uint64_t CDeviceStatusTracker::MissedRounds(const DEVICE_STATUS_T& device, uint64_t round) {
  // Rounds that are over (all before the one in progress) and came after its latest answer.
  const uint64_t over = round > 0 ? round - 1 : 0;
  return over > device.lastRound ? over - device.lastRound : 0;
}

void CDeviceStatusTracker::OnAnswer(const std::string& mac) {
  if (!m_enabled.load(std::memory_order_relaxed)) return;
  std::lock_guard<std::mutex> lock(m_lock);
  const std::chrono::milliseconds now = m_clock->Now();
  // One lookup an answer: with a /16 the table is large and every step through it a cache miss.
  auto it = m_devices.find(mac);
  const bool inserted = it == m_devices.end();
  if (inserted) {
    if (!m_bound.Admit(m_devices.size())) return;
    it = m_devices.try_emplace(mac).first;
  }
  DEVICE_STATUS_T& device = it->second;
  if (inserted) {
    device.firstSeen = now;
    device.firstRound = m_round;
  } else if (MissedRounds(device, m_round) >= kMissingRounds) {
    device.backSince = now;
  }
  device.lastSeen = now;
  device.lastRound = m_round;
}

void CDeviceStatusTracker::BeginRound() {
  std::lock_guard<std::mutex> lock(m_lock);
  ++m_round;
}

void CDeviceStatusTracker::Reset() {
  std::lock_guard<std::mutex> lock(m_lock);
  m_devices.clear();
  m_baselineRound = m_round + 1;
}

void CDeviceStatusTracker::Forget(const std::string& mac) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_devices.erase(mac);
}

STATUS_SNAPSHOT_T CDeviceStatusTracker::Snapshot() const {
  std::lock_guard<std::mutex> lock(m_lock);
  STATUS_SNAPSHOT_T snapshot;
  snapshot.now = m_clock->Now();
  snapshot.round = m_round;
  snapshot.baselineRound = m_baselineRound;
  snapshot.devices = m_devices;
  return snapshot;
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
