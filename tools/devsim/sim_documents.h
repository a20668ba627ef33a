#pragma once

#include <map>
#include <string>
#include <vector>

#include "sim_fleet.h"

// The device side of the XML documents: reading the program's requests and writing the
// devices' answers. Answers escape their values, as a device's XML writer would.

struct SimRequest {
  std::string type;  // Msg/Type: "Discover", "RequestConfig", ...
  std::string protocal;
  std::vector<std::string> items;             // Params/Item texts in order
  std::map<std::string, std::string> params;  // other Params children (first occurrence)
};

// Parses a decrypted request document (root "Msg"). False for anything else.
bool ParseRequestXml(const std::string& text, SimRequest* out);

std::string DiscoverAckXml(const SimDevice& device, const std::string& msgSeq);
// Items are "path=value" texts.
std::string ReportConfigXml(const std::vector<std::string>& items);
std::string AckXml(int msgId, int crc, const std::string& result, const std::string& info);
std::string AuthenticateAckXml(int result, const std::string& uuid, const std::string& desc);
std::string BootUpXml(const SimDevice& device);

// The configuration paths a device knows, LAN and WLAN alike (one interface serves both).
// Returns false for a path the device does not have.
bool ReadConfigItem(const SimDevice& device, const std::string& path, std::string* value);

// Applies "path=value" items of an UpdateConfig all together: a Type other than "0"/"2", or an
// address that is not dotted IPv4 (the secondary DNS may be empty), refuses the whole update
// with a reason and changes nothing.
bool ApplyConfigItems(SimDevice* device, const std::vector<std::string>& items,
                      std::string* reason);

// Back to factory state: DHCP with its lease, default credentials, no extra settings.
void ResetToFactory(SimDevice* device, const std::string& defaultUser,
                    const std::string& defaultPassword);
