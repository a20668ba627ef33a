#include "core/common/mac_text.h"

#include <algorithm>
#include <cctype>

std::string CompactMacText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == ':' || c == '-') continue;
    out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return out;
}

bool IsMacText(const std::string& text) {
  const std::string compact = CompactMacText(text);
  return compact.size() == 12 && std::all_of(compact.begin(), compact.end(), [](char c) {
           return std::isxdigit(static_cast<unsigned char>(c)) != 0;
         });
}

std::string DisplayMacText(const std::string& text) {
  if (!IsMacText(text)) return text;
  const std::string compact = CompactMacText(text);
  std::string out;
  out.reserve(17);
  for (size_t i = 0; i < compact.size(); i += 2) {
    if (!out.empty()) out += ':';
    out.append(compact, i, 2);
  }
  return out;
}
