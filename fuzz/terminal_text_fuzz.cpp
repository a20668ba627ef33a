// The terminal escape on any bytes a device might send. Properties: no control byte survives
// (C0, DEL, and U+0080..U+009F in their UTF-8 form), and the escape can be undone: reading the
// escapes back gives the input byte for byte.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "shell/terminal_text.h"

namespace {

int Hex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The escapes read back: \\ \n \r \t \e \xNN \u00NN (NN in 80..9F, as UTF-8).
bool Unescape(const std::string& text, std::string* out) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      *out += text[i];
      continue;
    }
    if (++i >= text.size()) return false;
    switch (text[i]) {
      case '\\':
        *out += '\\';
        break;
      case 'n':
        *out += '\n';
        break;
      case 'r':
        *out += '\r';
        break;
      case 't':
        *out += '\t';
        break;
      case 'e':
        *out += '\x1B';
        break;
      case 'x': {
        if (i + 2 >= text.size()) return false;
        const int hi = Hex(text[i + 1]), lo = Hex(text[i + 2]);
        if (hi < 0 || lo < 0) return false;
        *out += static_cast<char>(hi * 16 + lo);
        i += 2;
        break;
      }
      case 'u': {
        if (i + 4 >= text.size()) return false;
        int code = 0;
        for (int k = 1; k <= 4; ++k) {
          const int digit = Hex(text[i + k]);
          if (digit < 0) return false;
          code = code * 16 + digit;
        }
        if (code < 0x80 || code > 0x9F) return false;
        *out += '\xC2';
        *out += static_cast<char>(code);
        i += 4;
        break;
      }
      default:
        return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string safe = TerminalSafe(input);
  for (size_t i = 0; i < safe.size(); ++i) {
    const auto c = static_cast<unsigned char>(safe[i]);
    if (c < 0x20 || c == 0x7F) std::abort();  // a C0 control or DEL survived
    if (c == 0xC2 && i + 1 < safe.size()) {
      const auto next = static_cast<unsigned char>(safe[i + 1]);
      if (next >= 0x80 && next <= 0x9F) std::abort();  // a C1 control survived
    }
  }
  std::string back;
  if (!Unescape(safe, &back) || back != input) std::abort();  // the escape is ambiguous
  return 0;
}
