#include "core/device/network_input_check.h"

#include "shell/global_utils.h"

namespace {

constexpr size_t kMinAddressChars = 7;  // "1.2.3.4"
constexpr size_t kMaxAddressChars = 32;

size_t CharacterCount(const std::string& utf8) {
  size_t count = 0;
  for (unsigned char c : utf8) {
    if ((c & 0xC0) != 0x80) ++count;  // continuation bytes belong to the character before
  }
  return count;
}

}  // namespace

bool IsValidAddressText(const std::string& text) {
  const size_t length = CharacterCount(text);
  return length >= kMinAddressChars && length <= kMaxAddressChars &&
         CGlobalUtils::IsValidIPv4(text);
}

std::optional<NetworkField> FirstInvalidField(const NetworkInput& input) {
  const struct {
    const NetworkFieldInput& field;
    NetworkField name;
    bool emptyAllowed;
  } order[] = {
      {input.ip, NetworkField::kIp, false},
      {input.gateway, NetworkField::kGateway, false},
      {input.subnetMask, NetworkField::kSubnetMask, false},
      {input.primaryDns, NetworkField::kPrimaryDns, false},
      {input.secondaryDns, NetworkField::kSecondaryDns, true},
  };
  for (const auto& entry : order) {
    if (!entry.field.checked) continue;
    if (entry.field.text.empty()) {
      if (entry.emptyAllowed) continue;
      return entry.name;
    }
    if (!IsValidAddressText(entry.field.text)) return entry.name;
  }
  return std::nullopt;
}

const char* InvalidFieldText(NetworkField field) {
  switch (field) {
    case NetworkField::kIp:
      return "Invalid IP Address.";
    case NetworkField::kGateway:
      return "Invalid Gateway.";
    case NetworkField::kSubnetMask:
      return "Invalid Subnet Mask.";
    case NetworkField::kPrimaryDns:
      return "Invalid Primary DNS.";
    case NetworkField::kSecondaryDns:
      return "Invalid Secondary DNS.";
  }
  return "";
}
