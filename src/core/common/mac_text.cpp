#include "core/common/mac_text.h"

#include <functional>

namespace {

constexpr int kMacDigits = 12;
constexpr uint64_t kTextKeyBit = 1ull << 63;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string HexDigits(uint64_t mac, char separator) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(separator != '\0' ? 17 : 12);
  for (int byte = 5; byte >= 0; --byte) {
    if (separator != '\0' && byte != 5) text += separator;
    const unsigned value = static_cast<unsigned>(mac >> (8 * byte)) & 0xFF;
    text += kHex[value >> 4];
    text += kHex[value & 0xF];
  }
  return text;
}

}  // namespace

std::optional<uint64_t> ParseMac(std::string_view text) {
  uint64_t mac = 0;
  int digits = 0;
  for (const char c : text) {
    if (c == ':' || c == '-' || c == '.') continue;
    const int value = HexValue(c);
    if (value < 0 || ++digits > kMacDigits) return std::nullopt;
    mac = (mac << 4) | static_cast<uint64_t>(value);
  }
  if (digits != kMacDigits) return std::nullopt;
  return mac;
}

std::string FormatMac(uint64_t mac) { return HexDigits(mac, ':'); }

std::string FormatCompactMac(uint64_t mac) { return HexDigits(mac, '\0'); }

uint64_t MacKeyOf(std::string_view text) {
  if (const std::optional<uint64_t> mac = ParseMac(text)) return *mac;
  return std::hash<std::string_view>()(text) | kTextKeyBit;
}

bool IsMacKey(uint64_t key) { return (key & kTextKeyBit) == 0; }

bool SameMac(std::string_view a, std::string_view b) {
  const std::optional<uint64_t> macA = ParseMac(a);
  const std::optional<uint64_t> macB = ParseMac(b);
  if (macA || macB) return macA == macB;
  return a == b;  // two texts that are no MAC: the same device only as the same text
}

bool IsMacText(std::string_view text) { return ParseMac(text).has_value(); }

std::string CompactMacText(std::string_view text) {
  const std::optional<uint64_t> mac = ParseMac(text);
  return mac ? FormatCompactMac(*mac) : std::string(text);
}

std::string DisplayMacText(std::string_view text) {
  const std::optional<uint64_t> mac = ParseMac(text);
  return mac ? FormatMac(*mac) : std::string(text);
}

std::string MacSearchText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == ':' || c == '-' || c == '.') continue;
    out += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  }
  return out;
}
