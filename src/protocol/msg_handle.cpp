#include "protocol/msg_handle.h"

#include <utility>

#include "core/control.h"

CMsgHandle* CMsgHandle::GetInstance() {
  static CMsgHandle* instance = new CMsgHandle();  // lives until the process ends
  return instance;
}

CMsgHandle::CMsgHandle() = default;

void CMsgHandle::SetFallbackKeySource(KeySource source) { keySource_ = std::move(source); }

std::vector<std::string> CMsgHandle::FallbackKeys() const {
  if (keySource_) return keySource_();
  // The device table is copied under the core's lock; the keys are the MAC texts the devices
  // reported, in table order.
  std::vector<std::string> keys;
  for (const DEVICE_ENTRY_T& device : CControl::GetInstance()->GetDeviceList()) {
    keys.push_back(device.mac);
  }
  return keys;
}
