#include "core/config_items.h"

std::map<std::string, std::string> ConfigItemsToMap(const std::vector<std::string>& items) {
  std::map<std::string, std::string> map;
  for (const std::string& item : items) {
    std::vector<std::string> pieces;
    size_t start = 0;
    while (start <= item.size()) {
      size_t end = item.find('=', start);
      if (end == std::string::npos) end = item.size();
      if (end > start) pieces.push_back(item.substr(start, end - start));
      start = end + 1;
    }
    if (pieces.size() < 2) continue;
    map[pieces[0]] = pieces[1];
  }
  return map;
}

std::string NetworkConfigKey(const DEVICE_ENTRY_T& device, const char* leaf) {
  const bool lan = device.mac == device.workMac;
  return std::string(lan ? "Config.Network.LAN." : "Config.Network.WLAN.") + leaf;
}
