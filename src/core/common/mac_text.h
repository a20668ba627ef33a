// A device's identity is its MAC as a 48-bit value, whatever the spelling: devices write theirs
// in upper or lower case, with ':' or '-' between the bytes, with '.' between groups of four
// digits, or with nothing at all, while the capture reports a frame's source address as twelve
// upper-case digits. Every map, join and comparison of MACs in the program goes through
// ParseMac (or MacKeyOf, built on it), so that no two places can disagree about which texts name
// one device.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The 48 bits of a MAC text: exactly twelve hexadecimal digits in either case, with the
// separators ':', '-' and '.' skipped wherever they stand ("02:1a:2b:3c:4d:5e",
// "02-1A-2B-3C-4D-5E", "021a.2b3c.4d5e", "021A2B3C4D5E" all give 0x021A2B3C4D5E). Anything else
// (fewer or more digits, any other character, an empty text) is no MAC. Allocates nothing: it
// runs for every discovery answer.
std::optional<uint64_t> ParseMac(std::string_view text);

// "02:1A:2B:3C:4D:5E" and "021A2B3C4D5E" of a MAC's 48 bits.
std::string FormatMac(uint64_t mac);
std::string FormatCompactMac(uint64_t mac);

// The key of a device's MAC text for maps and comparisons: the MAC's 48 bits; for a text that is
// no MAC, a hash of the exact text with the top bit set, so that it never meets a MAC's key and
// two such texts name one device only when they are the same text.
uint64_t MacKeyOf(std::string_view text);
// True when the key holds a MAC's 48 bits (not the hash of a text that is no MAC).
bool IsMacKey(uint64_t key);
// Whether two MAC texts name the same device: the same 48 bits, or, for texts that are no MAC,
// the same text (as MacKeyOf keys them, without trusting a hash).
bool SameMac(std::string_view a, std::string_view b);

// True when ParseMac accepts the text.
bool IsMacText(std::string_view text);

// The compact spelling, twelve upper-case digits ("02:1a:2b:3c:4d:5e" -> "021A2B3C4D5E"), as
// the work MAC is kept and the agent's topics name a device. A text that is no MAC comes back as
// it is: nothing a device sends is made to look like a MAC.
std::string CompactMacText(std::string_view text);

// A text as a MAC search compares it: upper case, without ':', '-' and '.', so that part of a
// MAC typed in any spelling ("2b:00:00:0d") is found inside any device's spelling of its MAC.
// For searching only: a part of a MAC is no device's identity.
std::string MacSearchText(std::string_view text);

// The one spelling the window shows and the site record stores: upper case with colons
// ("021a.2b3c.4d5e" -> "02:1A:2B:3C:4D:5E"). A text that is no MAC comes back as it is, so
// nothing a device sends is hidden or invented.
std::string DisplayMacText(std::string_view text);
