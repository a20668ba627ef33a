// One spelling of a MAC text for comparing MACs: devices write theirs in upper or lower case,
// with or without ':' or '-', while the capture reports the frame's source address as twelve
// upper-case digits.
#pragma once

#include <string>

// The text with every ':' and '-' removed and letters upper-cased ("02:1a:2b:3c:4d:5e" ->
// "021A2B3C4D5E"). Other characters are kept, so a text that is no MAC stays distinct.
std::string CompactMacText(const std::string& text);

// True when text is a MAC in any of those spellings: twelve hexadecimal digits once compacted.
bool IsMacText(const std::string& text);

// The one spelling the window shows: upper case with colons ("021a2b3c4d5e" ->
// "02:1A:2B:3C:4D:5E"). A text that is no MAC comes back as it is, so nothing a device sends is
// hidden or invented.
std::string DisplayMacText(const std::string& text);
