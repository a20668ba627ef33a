#include "core/device_lookup.h"

#include "core/control.h"
#include "core/mac_text.h"
#include "core/op_clock.h"
#include "shell/global_utils.h"

namespace {

// Twelve upper-case digits of a MAC text; empty when the text is no MAC.
std::string CompactMac(const std::string& text) {
  return IsMacText(text) ? CompactMacText(text) : std::string();
}

}  // namespace

std::optional<DeviceTarget> ParseDeviceTarget(const std::string& text) {
  DeviceTarget target;
  if (CGlobalUtils::IsValidIPv4(text)) {
    target.ip = text;
    return target;
  }
  target.compactMac = CompactMac(text);
  if (target.compactMac.empty()) return std::nullopt;
  return target;
}

bool MatchesTarget(const DeviceTarget& target, const DEVICE_ENTRY_T& device, bool byWorkMac) {
  if (!target.ip.empty()) return !byWorkMac && device.ip == target.ip;
  return CompactMac(byWorkMac ? device.workMac : device.mac) == target.compactMac;
}

const DEVICE_ENTRY_T* FindTarget(const std::vector<DEVICE_ENTRY_T>& devices,
                                 const DeviceTarget& target) {
  // The MAC a device reports wins over another device's work MAC.
  for (bool byWorkMac : {false, true}) {
    for (const DEVICE_ENTRY_T& d : devices) {
      if (MatchesTarget(target, d, byWorkMac)) return &d;
    }
  }
  return nullptr;
}

const DEVICE_ENTRY_T* FindDeviceByName(const std::vector<DEVICE_ENTRY_T>& devices,
                                       const std::string& name) {
  const std::optional<DeviceTarget> target = ParseDeviceTarget(name);
  return target ? FindTarget(devices, *target) : nullptr;
}

std::optional<DEVICE_ENTRY_T> DiscoverTarget(CControl& control, IOpClock& clock,
                                             const DeviceTarget& target,
                                             std::chrono::milliseconds limit) {
  constexpr std::chrono::milliseconds kDiscoveryInterval{1000};
  constexpr std::chrono::milliseconds kPoll{20};
  std::optional<DEVICE_ENTRY_T> found;
  std::chrono::milliseconds nextDiscovery = clock.Now();
  const std::chrono::milliseconds end = clock.Now() + limit;
  PauseUntil(clock, limit, kPoll, [&] {
    const std::vector<DEVICE_ENTRY_T> devices = control.GetDeviceList();
    if (const DEVICE_ENTRY_T* d = FindTarget(devices, target)) {
      found = *d;
      return true;
    }
    if (clock.Now() >= nextDiscovery && clock.Now() < end) {  // none at the very end
      control.MulticastDiscoveryMsg();
      nextDiscovery = clock.Now() + kDiscoveryInterval;
    }
    return false;
  });
  return found;
}
