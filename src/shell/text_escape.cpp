#include "shell/text_escape.h"

#include <cstdio>

std::string EscapeControlChars(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    char esc[8];
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if ((c < 0x20 && c != '\t') || c == 0x7F) {
      std::snprintf(esc, sizeof esc, "\\x%02X", c);
      out += esc;
    } else if (c == 0xC2 && i + 1 < text.size() &&
               static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      // A C1 control such as U+009B (CSI) starts escape sequences in some terminals.
      std::snprintf(esc, sizeof esc, "\\x%02X", static_cast<unsigned char>(text[++i]));
      out += esc;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}
