#include "shell/terminal_text.h"

#include <cstdio>

std::string TerminalSafe(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  char escape[8];
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == 0x1B) {
      out += "\\e";
    } else if (c < 0x20 || c == 0x7F) {
      std::snprintf(escape, sizeof(escape), "\\x%02X", c);
      out += escape;
    } else if (c == 0xC2 && i + 1 < text.size() &&
               static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      // UTF-8 of U+0080..U+009F: terminals take U+009B for the control sequence introducer.
      std::snprintf(escape, sizeof(escape), "\\u%04X", static_cast<unsigned char>(text[i + 1]));
      out += escape;
      ++i;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}
