// The device lookup by name. Properties: every spelling of a device's MAC (upper, lower or mixed
// case; ':' or '-' between pairs, or nothing) finds exactly that device, whichever spelling the
// device reports its MAC in; a spelling of a work MAC finds its device when no device reports
// that MAC; a device's IP text finds the first device with that IP.
// Input: per device 6 MAC bytes, 6 work-MAC bytes, a spelling byte and an IP byte; then the
// spelling bytes of the lookups.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "core/device/device_lookup.h"

namespace {

// The six bytes spelled by the bits of `how`: case per digit, separator (none, ':' or '-').
std::string Spell(const uint8_t* mac, uint8_t how, uint8_t caseBits) {
  const char* separator = how % 3 == 0 ? "" : how % 3 == 1 ? ":" : "-";
  std::string out;
  for (int i = 0; i < 6; ++i) {
    char pair[3];
    std::snprintf(pair, sizeof pair, (caseBits >> i) & 1 ? "%02x" : "%02X", mac[i]);
    if (i > 0) out += separator;
    out += pair;
  }
  return out;
}

std::string Compact(const uint8_t* mac) { return Spell(mac, 0, 0); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr size_t kDeviceBytes = 14;
  if (size < 1) return 0;
  const size_t count = std::min<size_t>(data[0] % 16, (size - 1) / kDeviceBytes);
  const uint8_t* p = data + 1;
  std::vector<DEVICE_ENTRY_T> devices;
  std::vector<std::string> macs, workMacs;  // compact, by device
  std::set<std::string> seen;
  for (size_t i = 0; i < count; ++i, p += kDeviceBytes) {
    const std::string mac = Compact(p), workMac = Compact(p + 6);
    // Distinct devices: no MAC twice, no work MAC that is another device's MAC.
    if (!seen.insert(mac).second) continue;
    DEVICE_ENTRY_T d;
    d.mac = Spell(p, p[12], p[12] >> 2);
    d.workMac = (p[12] & 0x80) ? d.mac : Spell(p + 6, p[12] >> 1, p[13]);
    d.ip = "10.213.0." + std::to_string(p[13] % 8);
    devices.push_back(d);
    macs.push_back(mac);
    workMacs.push_back((p[12] & 0x80) ? mac : workMac);
  }
  const uint8_t* spellings = p;
  const size_t spellingBytes = size - static_cast<size_t>(p - data);

  const auto bytesOf = [](const std::string& compact, uint8_t* out) {
    for (int k = 0; k < 6; ++k) {
      out[k] = static_cast<uint8_t>(std::stoi(compact.substr(2 * k, 2), nullptr, 16));
    }
  };
  for (size_t i = 0; i < devices.size(); ++i) {
    for (size_t s = 0; s < std::max<size_t>(spellingBytes, 1) && s < 8; ++s) {
      const uint8_t how = spellingBytes ? spellings[s] : 0;
      uint8_t bytes[6];
      bytesOf(macs[i], bytes);
      if (FindDeviceByName(devices, Spell(bytes, how, how >> 2)) != &devices[i]) std::abort();

      // A work MAC: the device that reports it as its MAC wins; else the first device that
      // works with it.
      bytesOf(workMacs[i], bytes);
      const DEVICE_ENTRY_T* byWork = FindDeviceByName(devices, Spell(bytes, how >> 1, how >> 3));
      if (byWork == nullptr) std::abort();
      const size_t at = static_cast<size_t>(byWork - devices.data());
      if (seen.count(workMacs[i])) {
        if (macs[at] != workMacs[i]) std::abort();
      } else {
        if (workMacs[at] != workMacs[i]) std::abort();
        for (size_t j = 0; j < at; ++j) {
          if (workMacs[j] == workMacs[i]) std::abort();
        }
      }
    }
    size_t first = 0;
    while (devices[first].ip != devices[i].ip) ++first;
    if (FindDeviceByName(devices, devices[i].ip) != &devices[first]) std::abort();
  }
  return 0;
}
