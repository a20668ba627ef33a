#include "site/mac_key_map.h"

#include <functional>

namespace {

constexpr uint64_t kTextKeyBit = 1ull << 63;

}  // namespace

uint64_t MacKeyOf(const std::string& mac) {
  uint64_t key = 0;
  int digits = 0;
  for (const char c : mac) {
    int value;
    if (c >= '0' && c <= '9') {
      value = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      value = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      value = c - 'A' + 10;
    } else if (c == ':' || c == '-' || c == '.') {
      continue;
    } else {
      digits = -1;
      break;
    }
    if (++digits > 12) break;
    key = (key << 4) | static_cast<uint64_t>(value);
  }
  if (digits == 12) return key;
  return std::hash<std::string>()(mac) | kTextKeyBit;
}

bool IsMacKey(uint64_t key) { return (key & kTextKeyBit) == 0; }

std::string MacKeyText(uint64_t key) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string text(17, ':');
  for (int byte = 0; byte < 6; ++byte) {
    const unsigned value = static_cast<unsigned>(key >> (8 * (5 - byte))) & 0xFF;
    text[static_cast<size_t>(byte * 3)] = kHex[value >> 4];
    text[static_cast<size_t>(byte * 3 + 1)] = kHex[value & 0xF];
  }
  return text;
}
