// Device table, notify list, wait slot and authenticate callback of the control core.
#include <cstring>

#include "core/common/mac_text.h"
#include "core/control/control.h"
#include "protocol/reply_records.h"
#include "shell/log.h"

static_assert(sizeof(MSG_ACK_T) == kAckRecordBytes, "the wait slot holds one acknowledge record");

std::vector<DEVICE_ENTRY_T> CControl::GetDeviceList(uint64_t* version) const {
  std::lock_guard<std::recursive_mutex> lock(m_deviceLock);
  if (version != nullptr) *version = m_tableVersion;
  return m_deviceTable;
}

uint64_t CControl::DeviceTableVersion() const {
  std::lock_guard<std::recursive_mutex> lock(m_deviceLock);
  return m_tableVersion;
}

bool CControl::FindDevice(const std::string& mac, DEVICE_ENTRY_T* out) const {
  if (out == nullptr) return false;
  std::lock_guard<std::recursive_mutex> lock(m_deviceLock);
  const auto it = m_macIndex.find(mac);
  if (it == m_macIndex.end()) return false;
  *out = m_deviceTable[it->second];
  return true;
}

bool CControl::UpdateDevice(const DEVICE_ENTRY_T& entry) {
  size_t ignored = 0;
  return UpdateDevice(entry, &ignored);
}

bool CControl::DeviceUnchangedAt(size_t position, const DEVICE_ENTRY_T& entry) const {
  // An entry equal to `entry` holds its MAC, and a MAC has one entry: finding it there is proof
  // enough, whatever left or joined the table since.
  std::lock_guard<std::recursive_mutex> lock(m_deviceLock);
  return position < m_deviceTable.size() && m_deviceTable[position] == entry;
}

bool CControl::UpdateDevice(const DEVICE_ENTRY_T& entry, size_t* position) {
  std::lock_guard<std::recursive_mutex> lock(m_deviceLock);
  const auto it = m_macIndex.find(entry.mac);
  if (it == m_macIndex.end()) {
    if (!m_deviceBound.Admit(m_deviceTable.size())) return false;
    const size_t pos = m_deviceTable.size();
    m_deviceTable.push_back(entry);
    m_macIndex.emplace(entry.mac, pos);
    m_workMacIndex[CompactMacText(entry.workMac)].insert(pos);
    m_deviceKeys.reset();
    ++m_tableVersion;
    *position = pos;
    return true;
  }
  const size_t pos = it->second;
  *position = pos;
  DEVICE_ENTRY_T& current = m_deviceTable[pos];
  if (current == entry) return true;  // the answer of every round: nothing moves
  ++m_tableVersion;
  if (current.workMac != entry.workMac &&
      CompactMacText(current.workMac) != CompactMacText(entry.workMac)) {
    auto old = m_workMacIndex.find(CompactMacText(current.workMac));
    if (old != m_workMacIndex.end()) {
      old->second.erase(pos);
      if (old->second.empty()) m_workMacIndex.erase(old);
    }
    m_workMacIndex[CompactMacText(entry.workMac)].insert(pos);
  }
  current = entry;
  return true;
}

void CControl::RemoveDevice(const std::string& mac) {
  std::lock_guard<std::recursive_mutex> lock(m_deviceLock);
  const auto it = m_macIndex.find(mac);
  if (it == m_macIndex.end()) return;
  m_deviceTable.erase(m_deviceTable.begin() + static_cast<std::ptrdiff_t>(it->second));
  RebuildDeviceIndex();
  m_deviceKeys.reset();
  ++m_tableVersion;
  // The status history stays: a device leaves the table when it boots (reboot, upgrade) and
  // comes back with its next answer as the device it was, not as a new one.
}

void CControl::ClearDevices() {
  std::lock_guard<std::recursive_mutex> lock(m_deviceLock);
  m_deviceTable.clear();
  m_macIndex.clear();
  m_workMacIndex.clear();
  m_deviceKeys.reset();
  ++m_tableVersion;
  m_deviceStatus.Reset();
}

void CControl::RebuildDeviceIndex() {
  m_macIndex.clear();
  m_workMacIndex.clear();
  for (size_t pos = 0; pos < m_deviceTable.size(); ++pos) {
    m_macIndex.emplace(m_deviceTable[pos].mac, pos);
    m_workMacIndex[CompactMacText(m_deviceTable[pos].workMac)].insert(pos);
  }
}

bool CControl::FindDeviceKeyByWorkMac(const std::string& workMac, std::string* key) const {
  std::lock_guard<std::recursive_mutex> lock(m_deviceLock);
  const auto it = m_workMacIndex.find(CompactMacText(workMac));
  if (it == m_workMacIndex.end() || it->second.empty()) return false;
  if (key != nullptr) *key = m_deviceTable[*it->second.begin()].mac;
  return true;
}

std::shared_ptr<const std::vector<std::string>> CControl::GetDeviceKeys() const {
  std::lock_guard<std::recursive_mutex> lock(m_deviceLock);
  if (m_deviceKeys == nullptr) {
    auto keys = std::make_shared<std::vector<std::string>>();
    keys->reserve(m_deviceTable.size());
    for (const DEVICE_ENTRY_T& device : m_deviceTable) keys->push_back(device.mac);
    m_deviceKeys = std::move(keys);
  }
  return m_deviceKeys;
}

bool CControl::AddNotify(IControlNotify* notify) {
  if (notify == nullptr) return false;
  std::lock_guard<std::recursive_mutex> lock(m_notifyLock);
  for (IControlNotify* registered : m_notifyList) {
    if (registered == notify) return false;
  }
  m_notifyList.push_back(notify);
  return true;
}

bool CControl::RemoveNotify(IControlNotify* notify) {
  std::lock_guard<std::recursive_mutex> lock(m_notifyLock);
  for (auto it = m_notifyList.begin(); it != m_notifyList.end(); ++it) {
    if (*it == notify) {
      m_notifyList.erase(it);
      return true;
    }
  }
  return false;
}

void CControl::SetAuthenticateCallback(std::function<void(COMMON_ACK_T*)> callback) {
  std::lock_guard<std::mutex> lock(m_authLock);
  m_authenticateCallback = std::move(callback);
}

std::function<void(COMMON_ACK_T*)> CControl::GetAuthenticateCallback() const {
  std::lock_guard<std::mutex> lock(m_authLock);
  return m_authenticateCallback;
}

bool CControl::InvokeAuthenticateCallback(COMMON_ACK_T* ack) {
  const std::function<void(COMMON_ACK_T*)> callback = GetAuthenticateCallback();
  if (!callback) return false;
  callback(ack);
  return true;
}

void CControl::SetWaitMacAndCrc(const std::string& deviceKey, uint16_t crc) {
  std::lock_guard<std::recursive_mutex> lock(m_queueLock);
  m_waitMac = deviceKey;
  m_waitCrc = crc;
  m_ackPending = 1;
  LogInfo("%s:set wait mac is: %s, wait crc is: %d", "CControl::SetWaitMacAndCrc",
          m_waitMac.c_str(), static_cast<int>(m_waitCrc));
}

int CControl::GetWaitAck(MSG_ACK_T* out) {
  if (out == nullptr) return -1;
  std::lock_guard<std::recursive_mutex> lock(m_queueLock);
  if (m_ackPending != 0) return -1;
  std::memcpy(static_cast<void*>(out), m_ackSlot.data(), m_ackSlot.size());
  return 0;
}

bool CControl::StoreAwaitedAck(const std::string& deviceKey, const MSG_ACK_T* ack) {
  // No device has an empty key; an empty one must not match the wait MAC before any wait.
  if (ack == nullptr || deviceKey.empty()) return false;
  std::lock_guard<std::recursive_mutex> lock(m_queueLock);
  if (deviceKey != m_waitMac) return false;
  std::memcpy(m_ackSlot.data(), static_cast<const void*>(ack), m_ackSlot.size());
  m_ackPending = 0;
  return true;
}
