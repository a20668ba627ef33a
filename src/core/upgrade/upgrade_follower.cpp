#include "core/upgrade/upgrade_follower.h"

#include <algorithm>

#include "core/common/mac_text.h"
#include "core/control/control.h"

CUpgradeFollower::CUpgradeFollower(CControl& control, std::string mac, std::string workMac,
                                   std::string expectedVersion, BootUpScope scope,
                                   unsigned maxChecks)
    : m_control(control),
      m_mac(std::move(mac)),
      m_workMac(std::move(workMac)),
      m_expected(std::move(expectedVersion)),
      m_scope(scope),
      m_maxChecks(maxChecks) {}

bool CUpgradeFollower::IsThisDevice(const std::string& deviceKey) const {
  if (deviceKey == m_mac) return true;
  const std::string key = CompactMacText(deviceKey);
  return !key.empty() && (key == CompactMacText(m_mac) || key == CompactMacText(m_workMac));
}

void CUpgradeFollower::OnDeviceBootUp(const std::string& deviceKey) {
  m_control.RemoveDevice(deviceKey);
  // The core keys a boot-up by the frame's source address when no entry's work MAC is that
  // address (the device now sends from another interface than the one it reported). The entry
  // must go all the same, or the next check "finds it again" with the firmware it had before
  // the reboot and calls a good upgrade failed.
  if (deviceKey != m_mac && IsThisDevice(deviceKey)) m_control.RemoveDevice(m_mac);
  NoteBootUp(deviceKey);
}

bool CUpgradeFollower::NoteBootUp(const std::string& deviceKey) {
  if (m_scope == BootUpScope::kThisDevice && !IsThisDevice(deviceKey)) return false;
  m_bootUpSeen = true;
  return true;
}

bool CUpgradeFollower::FirmwareMatches() const {
  const std::vector<DEVICE_ENTRY_T> table = m_control.GetDeviceList();
  const auto entry = std::find_if(table.begin(), table.end(),
                                  [this](const DEVICE_ENTRY_T& d) { return d.mac == m_mac; });
  return entry != table.end() && entry->firmware == m_expected;
}

UpgradeState CUpgradeFollower::CheckLast() {
  if (m_state == UpgradeState::kInProgress)
    m_state = FirmwareMatches() ? UpgradeState::kCompleted : UpgradeState::kTimedOut;
  return m_state;
}

UpgradeState CUpgradeFollower::Check() {
  if (m_state == UpgradeState::kInProgress) {
    if (m_ticks >= m_maxChecks) {
      CheckLast();
    } else if (m_bootUpSeen) {
      DEVICE_ENTRY_T found;
      if (m_control.FindDevice(m_mac, &found))
        m_state = FirmwareMatches() ? UpgradeState::kCompleted : UpgradeState::kFailed;
    } else if (FirmwareMatches()) {
      m_state = UpgradeState::kCompleted;
    }
  }
  ++m_ticks;
  return m_state;
}
