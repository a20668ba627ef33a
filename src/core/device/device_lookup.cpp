#include "core/device/device_lookup.h"

#include <unordered_set>

#include "core/common/device_sort.h"
#include "core/common/mac_text.h"
#include "core/common/op_clock.h"
#include "core/control/control.h"
#include "shell/global_utils.h"

namespace {

// Twelve upper-case digits of a MAC text; empty when the text is no MAC.
std::string CompactMac(const std::string& text) {
  return IsMacText(text) ? CompactMacText(text) : std::string();
}

}  // namespace

std::optional<DeviceTarget> ParseDeviceTarget(const std::string& text) {
  DeviceTarget target;
  uint32_t address = 0;
  if (CGlobalUtils::IsValidIPv4(text) && CDeviceSort::ParseIPv4(text, &address)) {
    target.ip = CGlobalUtils::IpToText(address);
    return target;
  }
  target.compactMac = CompactMac(text);
  if (target.compactMac.empty()) return std::nullopt;
  return target;
}

bool MatchesTarget(const DeviceTarget& target, const DEVICE_ENTRY_T& device, bool byWorkMac) {
  if (!target.ip.empty()) {
    uint32_t wanted = 0;
    uint32_t address = 0;
    return !byWorkMac && CDeviceSort::ParseIPv4(target.ip, &wanted) &&
           CDeviceSort::ParseIPv4(device.ip, &address) && address == wanted;
  }
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

std::vector<std::string> IpClaimants(const std::vector<DEVICE_ENTRY_T>& devices,
                                     const DeviceTarget& target) {
  std::vector<std::string> claimants;
  if (target.ip.empty()) return claimants;
  std::unordered_set<std::string> seen;
  for (const DEVICE_ENTRY_T& device : devices) {
    if (MatchesTarget(target, device, false) && seen.insert(CompactMacText(device.mac)).second)
      claimants.push_back(device.mac);
  }
  return claimants;
}

std::optional<DEVICE_ENTRY_T> DiscoverTarget(CControl& control, IOpClock& clock,
                                             const DeviceTarget& target,
                                             std::chrono::milliseconds limit,
                                             std::vector<std::string>* ambiguous) {
  constexpr std::chrono::milliseconds kDiscoveryInterval{1000};
  constexpr std::chrono::milliseconds kPoll{20};
  std::optional<DEVICE_ENTRY_T> found;
  std::vector<std::string> claimants;  // distinct MACs answering for the IP address
  std::optional<std::chrono::milliseconds> settledAt;
  std::chrono::milliseconds nextDiscovery = clock.Now();
  const bool byIp = !target.ip.empty();
  const std::chrono::milliseconds end = clock.Now() + limit;
  PauseUntil(clock, limit, kPoll, [&] {
    const std::vector<DEVICE_ENTRY_T> devices = control.GetDeviceList();
    if (const DEVICE_ENTRY_T* d = FindTarget(devices, target)) {
      if (!found) found = *d;
      if (!byIp) return true;
      claimants = IpClaimants(devices, target);
      if (!settledAt) settledAt = clock.Now() + kIpSettle;
      if (clock.Now() >= *settledAt) return true;
    }
    if (clock.Now() >= nextDiscovery && clock.Now() < end) {  // none at the very end
      control.MulticastDiscoveryMsg();
      nextDiscovery = clock.Now() + kDiscoveryInterval;
    }
    return false;
  });
  if (byIp && claimants.size() > 1) {
    if (ambiguous != nullptr) *ambiguous = claimants;
    return std::nullopt;
  }
  return found;
}
