#pragma once

#include <optional>
#include <string>

// The checks an address must pass before it is sent to a device, shared by the device view and
// the command line.
enum class NetworkField { kIp, kGateway, kSubnetMask, kPrimaryDns, kSecondaryDns };

// One address field as entered; a field that is absent or disabled is not checked.
struct NetworkFieldInput {
  bool checked = false;
  std::string text;
};

struct NetworkInput {
  NetworkFieldInput ip, gateway, subnetMask, primaryDns, secondaryDns;
};

// 7 to 32 characters and a dotted IPv4 address.
bool IsValidAddressText(const std::string& text);

// The first field, in the order IP, gateway, subnet mask, primary DNS, secondary DNS, that
// fails: empty (only the secondary DNS may be empty) or not a valid address text.
std::optional<NetworkField> FirstInvalidField(const NetworkInput& input);

// "Invalid IP Address.", "Invalid Gateway.", ... : what the user is told about a field.
const char* InvalidFieldText(NetworkField field);
