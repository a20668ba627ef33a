#include "cli/device_lookup.h"

#include <cctype>

#include "shell/global_utils.h"

std::string CompactMac(const std::string& mac) {
  std::string out;
  for (char c : mac) {
    if (c == ':' || c == '-' || c == '.') continue;
    out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return out;
}

bool DeviceNamedBy(const DEVICE_ENTRY_T& device, const std::string& wanted) {
  if (wanted.empty()) return false;
  if (device.ip == wanted || device.mac == wanted) return true;
  // "192.168.100.200" would compact to twelve digits too: an address is never a MAC.
  if (CGlobalUtils::IsValidIPv4(wanted)) return false;
  const std::string compact = CompactMac(wanted);
  return compact.size() == 12 && CompactMac(device.mac) == compact;
}

bool FindNamedDevice(const std::vector<DEVICE_ENTRY_T>& table, const std::string& wanted,
                     DEVICE_ENTRY_T* out) {
  for (const DEVICE_ENTRY_T& device : table) {
    if (!DeviceNamedBy(device, wanted)) continue;
    if (out) *out = device;
    return true;
  }
  return false;
}
