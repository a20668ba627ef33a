// Dotted IPv4 text, both ways, for every layer: the address checks of the windows and the
// command line, the frames the transport builds, the planner's ranges and the list's numeric
// sort all read an address by this one rule. Header-only so that the capture helper, which
// compiles a few transport files on their own, shares it without linking the shell.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

// Four dot-separated parts of 1 to 4 decimal digits, each at most 255; leading zeros are allowed
// ("192.168.001.010" is 192.168.1.10), nothing else is (no sign, space, empty part or fifth
// part). The value is host order, first part most significant; ip may be null to only check.
inline bool ParseIpv4(std::string_view text, uint32_t* ip) {
  uint32_t value = 0;
  uint32_t part = 0;
  int digits = 0;
  int parts = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    const bool end = i == text.size();
    const char c = end ? '.' : text[i];
    if (c >= '0' && c <= '9') {
      if (++digits > 4) return false;
      part = part * 10 + static_cast<uint32_t>(c - '0');
      continue;
    }
    if (c != '.' || digits == 0 || part > 255 || ++parts > 4) return false;
    value = value << 8 | part;
    digits = 0;
    part = 0;
  }
  if (parts != 4) return false;
  if (ip != nullptr) *ip = value;
  return true;
}

// A C text ends at its terminator; null is no address.
inline bool ParseIpv4(const char* text, uint32_t* ip) {
  return text != nullptr && ParseIpv4(std::string_view(text), ip);
}

// "%u.%u.%u.%u" of a host-order address into text (cut to size - 1 characters).
inline void FormatIpv4(uint32_t ip, char* text, int size) {
  if (text == nullptr || size <= 0) return;
  std::snprintf(text, static_cast<size_t>(size), "%u.%u.%u.%u", (ip >> 24) & 0xFF,
                (ip >> 16) & 0xFF, (ip >> 8) & 0xFF, ip & 0xFF);
}

inline std::string Ipv4Text(uint32_t ip) {
  char text[16];
  FormatIpv4(ip, text, sizeof(text));
  return text;
}
