#include "shell/terminal_text.h"

#include <cstdio>

std::string TerminalSafe(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    // C1 controls arrive in UTF-8 as C2 80..C2 9F.
    const bool c1 = c == 0xC2 && i + 1 < text.size() &&
                    (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0x80;
    if (c < 0x20 || c == 0x7F || c1) {
      const unsigned value = c1 ? static_cast<unsigned char>(text[++i]) : c;
      char escaped[8];
      std::snprintf(escaped, sizeof(escaped), "\\x%02X", value);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}
