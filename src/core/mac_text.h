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
