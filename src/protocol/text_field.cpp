#include "protocol/text_field.h"

#include <cstdint>
#include <cstring>

namespace {

// Decodes one code point from UTF-8; advances p. Malformed input gives U+FFFD and one byte.
char32_t DecodeUtf8(const unsigned char*& p) {
  const unsigned char c = *p;
  int extra = 0;
  char32_t cp = 0;
  char32_t min = 0;
  if (c < 0x80) {
    ++p;
    return c;
  } else if ((c & 0xE0) == 0xC0) {
    extra = 1, cp = c & 0x1F, min = 0x80;
  } else if ((c & 0xF0) == 0xE0) {
    extra = 2, cp = c & 0x0F, min = 0x800;
  } else if ((c & 0xF8) == 0xF0) {
    extra = 3, cp = c & 0x07, min = 0x10000;
  } else {
    ++p;
    return 0xFFFD;
  }
  for (int i = 1; i <= extra; ++i) {
    if ((p[i] & 0xC0) != 0x80) {  // also stops at the terminator
      ++p;
      return 0xFFFD;
    }
    cp = cp << 6 | (p[i] & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++p;
    return 0xFFFD;
  }
  p += extra + 1;
  return cp;
}

}  // namespace

int FieldToUtf8(const char16_t* field, int fieldChars, char* out, int outSize) {
  if (out == nullptr || outSize <= 0) return -1;
  int used = 0;
  for (int i = 0; field != nullptr && i < fieldChars && field[i] != 0; ++i) {
    char32_t cp = field[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < fieldChars && field[i + 1] >= 0xDC00 &&
        field[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (field[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;  // lone surrogate
    }
    char bytes[4];
    int n;
    if (cp < 0x80) {
      bytes[0] = static_cast<char>(cp);
      n = 1;
    } else if (cp < 0x800) {
      bytes[0] = static_cast<char>(0xC0 | cp >> 6);
      bytes[1] = static_cast<char>(0x80 | (cp & 0x3F));
      n = 2;
    } else if (cp < 0x10000) {
      bytes[0] = static_cast<char>(0xE0 | cp >> 12);
      bytes[1] = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
      bytes[2] = static_cast<char>(0x80 | (cp & 0x3F));
      n = 3;
    } else {
      bytes[0] = static_cast<char>(0xF0 | cp >> 18);
      bytes[1] = static_cast<char>(0x80 | (cp >> 12 & 0x3F));
      bytes[2] = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
      bytes[3] = static_cast<char>(0x80 | (cp & 0x3F));
      n = 4;
    }
    if (used + n + 1 > outSize) {
      out[0] = 0;
      return -1;
    }
    std::memcpy(out + used, bytes, n);
    used += n;
  }
  out[used] = 0;
  return used;
}

std::string FieldToUtf8(const char16_t* field, int fieldChars) {
  // At most 3 UTF-8 bytes per UTF-16 unit.
  std::string text(static_cast<size_t>(fieldChars) * 3 + 1, '\0');
  const int n = FieldToUtf8(field, fieldChars, text.data(), static_cast<int>(text.size()));
  text.resize(n < 0 ? 0 : n);
  return text;
}

void Utf8ToField(const char* text, char16_t* field, int fieldChars) {
  if (field == nullptr || fieldChars <= 0) return;
  std::memset(field, 0, sizeof(char16_t) * fieldChars);
  if (text == nullptr) return;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  int used = 0;
  while (*p != 0) {
    const char32_t cp = DecodeUtf8(p);
    const int units = cp >= 0x10000 ? 2 : 1;
    if (used + units + 1 > fieldChars) break;  // keep room for the terminator
    if (units == 2) {
      field[used++] = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      field[used++] = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      field[used++] = static_cast<char16_t>(cp);
    }
  }
}
