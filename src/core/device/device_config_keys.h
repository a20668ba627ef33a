#pragma once

#include <map>
#include <string>
#include <vector>

#include "core/common/device_entry.h"

struct CONFIG_MODULE_T;

// Configuration paths of a device's network settings. A device whose MAC is its work MAC (in any
// spelling: case, ':' and '-' ignored) works over its first interface ("Config.Network.LAN.");
// any other over its second ("Config.Network.WLAN."). The Status paths report what the device uses
// now, whatever the type.
namespace device_config {

inline constexpr const char* kStatusIp = "Config.Status.IP";
inline constexpr const char* kStatusGateway = "Config.Status.Gateway";
inline constexpr const char* kStatusNetmask = "Config.Status.Netmask";
inline constexpr const char* kStatusPrimaryDns = "Config.Status.PrimaryDNS";
inline constexpr const char* kStatusSecondaryDns = "Config.Status.SecondaryDNS";
inline constexpr const char* kLanType = "Config.Network.LAN.Type";
inline constexpr const char* kWlanType = "Config.Network.WLAN.Type";
inline constexpr const char* kTypeDhcp = "0";
inline constexpr const char* kTypeStatic = "2";

// "Config.Network.LAN.<leaf>" or "Config.Network.WLAN.<leaf>" by the device's interface.
std::string NetworkKey(const DEVICE_ENTRY_T& device, const char* leaf);

// The items of a configuration request: the interface's Type, then the five Status paths.
void FillRequestItems(const DEVICE_ENTRY_T& device, CONFIG_MODULE_T* items);

// Network settings as the installer enters them.
struct NetworkSettings {
  bool dhcp = false;
  std::string ip, gateway, subnetMask, primaryDns, secondaryDns;
};

// A dotted IPv4 text in canonical form (leading zeros dropped: "010.0.0.1" is "10.0.0.1");
// any other text as it is.
std::string CanonicalAddress(const std::string& text);

// The items of an update: DHCP is the Type "0" alone; a static address is Type "2" followed by
// StaticIP, DefaultGateway, SubnetMask, PrimaryDNS and SecondaryDNS in canonical form (an empty
// secondary DNS is sent empty).
void FillUpdateItems(const DEVICE_ENTRY_T& device, const NetworkSettings& settings,
                     CONFIG_MODULE_T* items);

// A report's "path=value" items as a map: each item is split at every '=' with empty pieces
// dropped; fewer than two pieces are skipped; the first piece is the key, the second the value;
// a later key replaces an earlier one.
std::map<std::string, std::string> ParseReportItems(const std::vector<std::string>& items);

// The addressing type a report names: the LAN Type when reported, else the WLAN Type; "" when
// neither is there.
std::string ReportedType(const std::map<std::string, std::string>& report);

}  // namespace device_config
