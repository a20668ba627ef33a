#include "cli/device_target.h"

#include <cctype>
#include <chrono>
#include <thread>

#include "core/control.h"
#include "shell/global_utils.h"

namespace {

// Upper-case hexadecimal digits of a MAC text without ':' and '-'; empty unless exactly 12.
std::string CompactMac(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == ':' || c == '-') continue;
    if (!std::isxdigit(static_cast<unsigned char>(c))) return std::string();
    out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return out.size() == 12 ? out : std::string();
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

std::optional<DEVICE_ENTRY_T> DiscoverTarget(const DeviceTarget& target, int seconds) {
  using Clock = std::chrono::steady_clock;
  constexpr auto kDiscoveryInterval = std::chrono::seconds(2);
  CControl* control = CControl::GetInstance();
  const auto end = Clock::now() + std::chrono::seconds(seconds);
  auto nextDiscovery = Clock::now();
  for (;;) {
    // The MAC a device reports wins over another device's work MAC.
    const std::vector<DEVICE_ENTRY_T> devices = control->GetDeviceList();
    for (bool byWorkMac : {false, true}) {
      for (const DEVICE_ENTRY_T& d : devices) {
        if (MatchesTarget(target, d, byWorkMac)) return d;
      }
    }
    const auto now = Clock::now();
    if (now >= end) return std::nullopt;
    if (now >= nextDiscovery) {
      control->MulticastDiscoveryMsg();
      nextDiscovery = now + kDiscoveryInterval;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}
