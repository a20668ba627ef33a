#include "cli/device_lookup.h"

#include <cctype>

#include "shell/global_utils.h"

namespace {

// 12 upper-case hexadecimal digits, or "" when the text is not a MAC.
std::string CanonicalMac(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == ':' || c == '-') continue;
    if (!std::isxdigit(static_cast<unsigned char>(c))) return {};
    out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return out.size() == 12 ? out : std::string();
}

}  // namespace

const DEVICE_ENTRY_T* FindDeviceByName(const std::vector<DEVICE_ENTRY_T>& devices,
                                       const std::string& name) {
  if (CGlobalUtils::IsValidIPv4(name)) {
    for (const DEVICE_ENTRY_T& d : devices)
      if (d.ip == name) return &d;
    return nullptr;
  }
  const std::string wanted = CanonicalMac(name);
  if (wanted.empty()) return nullptr;
  for (const DEVICE_ENTRY_T& d : devices)
    if (CanonicalMac(d.mac) == wanted) return &d;
  for (const DEVICE_ENTRY_T& d : devices)
    if (CanonicalMac(d.workMac) == wanted) return &d;
  return nullptr;
}
