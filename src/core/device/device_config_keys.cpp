#include "core/device/device_config_keys.h"

#include <algorithm>
#include <cstring>

#include "core/common/device_sort.h"
#include "core/common/mac_text.h"
#include "protocol/request_records.h"
#include "shell/global_utils.h"

namespace device_config {

std::string NetworkKey(const DEVICE_ENTRY_T& device, const char* leaf) {
  // Compared as MACs: a device may write its MAC and its work MAC in different spellings
  // (02:1a:2b:00:00:01 and 021A2B000001), and the core keeps the work MAC compacted.
  const char* infix = CompactMacText(device.mac) == CompactMacText(device.workMac) ? "LAN" : "WLAN";
  return std::string("Config.Network.") + infix + "." + leaf;
}

void FillRequestItems(const DEVICE_ENTRY_T& device, CONFIG_MODULE_T* items) {
  std::memset(items, 0, sizeof(*items));
  const std::string type = NetworkKey(device, "Type");
  for (const char* key : {type.c_str(), kStatusIp, kStatusGateway, kStatusNetmask,
                          kStatusPrimaryDns, kStatusSecondaryDns}) {
    CGlobalUtils::AddConfigItem(items->szItem, key, nullptr);
  }
}

std::string CanonicalAddress(const std::string& text) {
  uint32_t address = 0;
  return CDeviceSort::ParseIPv4(text, &address) ? CGlobalUtils::IpToText(address) : text;
}

void FillUpdateItems(const DEVICE_ENTRY_T& device, const NetworkSettings& settings,
                     CONFIG_MODULE_T* items) {
  std::memset(items, 0, sizeof(*items));
  // Typed addresses go out in canonical form: a device may read "010.0.0.1" as octal.
  auto add = [&](const char* leaf, const std::string& value) {
    CGlobalUtils::AddConfigItemValue(items->szItem, NetworkKey(device, leaf).c_str(),
                                     CanonicalAddress(value).c_str());
  };
  if (settings.dhcp) {
    add("Type", kTypeDhcp);
    return;
  }
  add("Type", kTypeStatic);
  add("StaticIP", settings.ip);
  add("DefaultGateway", settings.gateway);
  add("SubnetMask", settings.subnetMask);
  add("PrimaryDNS", settings.primaryDns);
  add("SecondaryDNS", settings.secondaryDns);
}

std::map<std::string, std::string> ParseReportItems(const std::vector<std::string>& items) {
  std::map<std::string, std::string> out;
  for (const std::string& item : items) {
    std::vector<std::string> pieces;
    size_t start = 0;
    while (start <= item.size()) {
      const size_t end = std::min(item.find('=', start), item.size());
      if (end > start) pieces.push_back(item.substr(start, end - start));
      start = end + 1;
    }
    if (pieces.size() < 2) continue;
    out[pieces[0]] = pieces[1];
  }
  return out;
}

std::string ReportedType(const std::map<std::string, std::string>& report) {
  if (auto it = report.find(kLanType); it != report.end()) return it->second;
  if (auto it = report.find(kWlanType); it != report.end()) return it->second;
  return std::string();
}

}  // namespace device_config
