// The configuration report splitter and the keys of the network settings. Properties: every
// key and value the splitter keeps is non-empty and holds no '='; each comes from the last
// item whose first two pieces they are, and items of fewer than two pieces leave nothing; the
// items the program sends for a device read back through the splitter with the interface's
// keys (LAN when the MAC text equals the work MAC, else WLAN) and the values given.
// Input: 0x00-separated report items; after a 0xFF byte, the device's MAC, work MAC and the
// five settings, 0x00-separated.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "core/common/mac_text.h"
#include "core/device/device_config_keys.h"
#include "protocol/request_records.h"
#include "shell/global_utils.h"

namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> out(1);
  for (char c : text) {
    if (c == separator) {
      out.emplace_back();
    } else {
      out.back() += c;
    }
  }
  return out;
}

// The non-empty pieces between '=' signs.
std::vector<std::string> Pieces(const std::string& item) {
  std::vector<std::string> out;
  for (std::string& piece : Split(item, '=')) {
    if (!piece.empty()) out.push_back(std::move(piece));
  }
  return out;
}

std::vector<std::string> ItemsOf(const CONFIG_MODULE_T& module) {
  std::vector<std::string> out;
  for (const auto& item : module.szItem) {
    if (item[0] == 0) break;
    out.push_back(CGlobalUtils::ToUtf8(item));
  }
  return out;
}

// Printable ASCII without '=': a value as an installer types it.
std::string Typed(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c > 0x20 && c < 0x7F && c != '=') out += c;
  }
  return out.substr(0, 40);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t cut = input.find('\xFF');
  const std::vector<std::string> items = Split(input.substr(0, cut), '\0');

  const std::map<std::string, std::string> report = device_config::ParseReportItems(items);
  for (const auto& [key, value] : report) {
    if (key.empty() || value.empty()) std::abort();
    if (key.find('=') != std::string::npos || value.find('=') != std::string::npos) std::abort();
    // The last item that names this key gives the value.
    const std::string* last = nullptr;
    for (const std::string& item : items) {
      const std::vector<std::string> pieces = Pieces(item);
      if (pieces.size() >= 2 && pieces[0] == key) last = &item;
    }
    if (last == nullptr || Pieces(*last)[1] != value) std::abort();
  }
  for (const std::string& item : items) {
    const std::vector<std::string> pieces = Pieces(item);
    if (pieces.size() >= 2 && !report.count(pieces[0])) std::abort();  // an item was lost
  }

  if (cut == std::string::npos) return 0;
  std::vector<std::string> fields = Split(input.substr(cut + 1), '\0');
  fields.resize(7);
  DEVICE_ENTRY_T device;
  device.mac = Typed(fields[0]);
  device.workMac = fields[1] == "=" ? device.mac : Typed(fields[1]);
  // The device's own interface is the one whose MAC reads the same, whatever the spelling.
  const bool lan = CompactMacText(device.mac) == CompactMacText(device.workMac);
  const std::string prefix = lan ? "Config.Network.LAN." : "Config.Network.WLAN.";

  CONFIG_MODULE_T module;
  device_config::FillRequestItems(device, &module);
  const std::vector<std::string> asked = ItemsOf(module);
  const std::vector<std::string> expectedAsk = {prefix + "Type",
                                                device_config::kStatusIp,
                                                device_config::kStatusGateway,
                                                device_config::kStatusNetmask,
                                                device_config::kStatusPrimaryDns,
                                                device_config::kStatusSecondaryDns};
  if (asked != expectedAsk) std::abort();

  device_config::NetworkSettings settings;
  settings.ip = Typed(fields[2]);
  settings.gateway = Typed(fields[3]);
  settings.subnetMask = Typed(fields[4]);
  settings.primaryDns = Typed(fields[5]);
  settings.secondaryDns = Typed(fields[6]);
  device_config::FillUpdateItems(device, settings, &module);
  const std::map<std::string, std::string> sent = device_config::ParseReportItems(ItemsOf(module));
  if (device_config::ReportedType(sent) != device_config::kTypeStatic) std::abort();
  const std::pair<const char*, const std::string*> leaves[] = {
      {"StaticIP", &settings.ip},
      {"DefaultGateway", &settings.gateway},
      {"SubnetMask", &settings.subnetMask},
      {"PrimaryDNS", &settings.primaryDns},
      {"SecondaryDNS", &settings.secondaryDns}};
  for (const auto& [leaf, value] : leaves) {
    const auto it = sent.find(prefix + leaf);
    // An empty value is sent empty: the splitter keeps no item for it.
    if (value->empty() ? it != sent.end() : it == sent.end() || it->second != *value) std::abort();
  }

  settings.dhcp = true;
  device_config::FillUpdateItems(device, settings, &module);
  if (ItemsOf(module) != std::vector<std::string>{prefix + "Type=0"}) std::abort();
  return 0;
}
