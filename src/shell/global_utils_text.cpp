// Text conversions, address and MAC texts, random tokens and configuration items.
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "shell/global_utils.h"
#include "shell/ipv4_text.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point at pos (advancing pos); malformed input gives U+FFFD for one byte.
char32_t DecodeUtf8(const unsigned char* text, size_t length, size_t& pos) {
  const unsigned char lead = text[pos];
  if (lead < 0x80) {
    ++pos;
    return lead;
  }
  size_t count = 0;
  char32_t value = 0;
  char32_t minimum = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    count = 1;
    value = lead & 0x1F;
    minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    count = 2;
    value = lead & 0x0F;
    minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    count = 3;
    value = lead & 0x07;
    minimum = 0x10000;
  } else {
    ++pos;
    return kReplacement;
  }
  if (pos + count >= length) {  // the sequence runs past the end
    ++pos;
    return kReplacement;
  }
  for (size_t i = 1; i <= count; ++i) {
    const unsigned char next = text[pos + i];
    if ((next & 0xC0) != 0x80) {
      ++pos;
      return kReplacement;
    }
    value = (value << 6) | (next & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    ++pos;
    return kReplacement;
  }
  pos += count + 1;
  return value;
}

// Decodes one code point of UTF-16 at pos; a lone surrogate gives U+FFFD.
char32_t DecodeUtf16(const char16_t* text, size_t length, size_t& pos) {
  const char16_t unit = text[pos++];
  if (unit >= 0xD800 && unit <= 0xDBFF) {
    if (pos < length && text[pos] >= 0xDC00 && text[pos] <= 0xDFFF) {
      const char32_t low = text[pos++];
      return 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (low - 0xDC00);
    }
    return kReplacement;
  }
  if (unit >= 0xDC00 && unit <= 0xDFFF) return kReplacement;
  return unit;
}

int EncodeUtf8(char32_t c, char* out) {
  if (c < 0x80) {
    out[0] = static_cast<char>(c);
    return 1;
  }
  if (c < 0x800) {
    out[0] = static_cast<char>(0xC0 | (c >> 6));
    out[1] = static_cast<char>(0x80 | (c & 0x3F));
    return 2;
  }
  if (c < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (c >> 12));
    out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (c & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (c >> 18));
  out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (c & 0x3F));
  return 4;
}

int EncodeUtf16(char32_t c, char16_t* out) {
  if (c < 0x10000) {
    out[0] = static_cast<char16_t>(c);
    return 1;
  }
  c -= 0x10000;
  out[0] = static_cast<char16_t>(0xD800 + (c >> 10));
  out[1] = static_cast<char16_t>(0xDC00 + (c & 0x3FF));
  return 2;
}

size_t Utf16Length(const char16_t* text) {
  size_t length = 0;
  while (text[length] != 0) ++length;
  return length;
}

// Writes text into one configuration entry, cut at a character boundary to 95 characters, the
// rest of the entry zero-filled.
void WriteItem(char16_t* entry, const std::string& text) {
  std::memset(entry, 0, sizeof(char16_t) * kConfigItemChars);
  CGlobalUtils::Utf8ToWide(text.c_str(), entry, kConfigItemChars);
}

int FirstEmptyItem(char16_t (*items)[kConfigItemChars]) {
  for (int i = 0; i < kConfigItemCount; ++i) {
    if (items[i][0] == 0) return i;
  }
  return -1;
}

template <typename Char>
int ParseLeadingInt(const Char* text) {
  if (text == nullptr) return 0;
  size_t pos = 0;
  while (text[pos] == ' ' || text[pos] == '\t' || text[pos] == '\n' || text[pos] == '\r' ||
         text[pos] == '\v' || text[pos] == '\f') {
    ++pos;
  }
  bool negative = false;
  if (text[pos] == '+' || text[pos] == '-') {
    negative = text[pos] == '-';
    ++pos;
  }
  long long value = 0;
  while (text[pos] >= '0' && text[pos] <= '9') {
    value = value * 10 + (text[pos] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
    ++pos;
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

int CGlobalUtils::WideToUtf8(const char16_t* wide, char* buffer, int size) {
  if (wide == nullptr || buffer == nullptr || size <= 0) return -1;
  const size_t length = Utf16Length(wide);
  size_t pos = 0;
  int used = 0;
  while (pos < length) {
    char bytes[4];
    const int count = EncodeUtf8(DecodeUtf16(wide, length, pos), bytes);
    if (used + count > size - 1) break;  // cut before a character that does not fit whole
    std::memcpy(buffer + used, bytes, static_cast<size_t>(count));
    used += count;
  }
  buffer[used] = 0;
  return used + 1;
}

int CGlobalUtils::Utf8ToWide(const char* utf8, char16_t* buffer, int size) {
  if (utf8 == nullptr || buffer == nullptr || size <= 0) return -1;
  const auto* text = reinterpret_cast<const unsigned char*>(utf8);
  const size_t length = std::strlen(utf8);
  size_t pos = 0;
  int used = 0;
  while (pos < length) {
    char16_t units[2];
    const int count = EncodeUtf16(DecodeUtf8(text, length, pos), units);
    if (used + count > size - 1) break;
    for (int i = 0; i < count; ++i) buffer[used + i] = units[i];
    used += count;
  }
  buffer[used] = 0;
  return 0;
}

std::string CGlobalUtils::ToUtf8(std::u16string_view wide) {
  std::string result;
  result.reserve(wide.size());
  size_t pos = 0;
  while (pos < wide.size()) {
    char bytes[4];
    const int count = EncodeUtf8(DecodeUtf16(wide.data(), wide.size(), pos), bytes);
    result.append(bytes, static_cast<size_t>(count));
  }
  return result;
}

std::u16string CGlobalUtils::ToWide(std::string_view utf8) {
  std::u16string result;
  result.reserve(utf8.size());
  const auto* text = reinterpret_cast<const unsigned char*>(utf8.data());
  size_t pos = 0;
  while (pos < utf8.size()) {
    char16_t units[2];
    const int count = EncodeUtf16(DecodeUtf8(text, utf8.size(), pos), units);
    result.append(units, static_cast<size_t>(count));
  }
  return result;
}

int CGlobalUtils::TextToInt(const char* text) { return ParseLeadingInt(text); }

int CGlobalUtils::TextToIntW(const char16_t* text) { return ParseLeadingInt(text); }

std::string CGlobalUtils::IpToText(uint32_t hostOrderAddress) { return Ipv4Text(hostOrderAddress); }

// A NUL inside the text is a character like any other, so it fails the check.
bool CGlobalUtils::IsValidIPv4(const std::string& text) {
  return ParseIpv4(std::string_view(text), nullptr);
}

int CGlobalUtils::MacTextToBytes(const char* macText, uint8_t* out6) {
  if (macText == nullptr || out6 == nullptr) return -1;
  // Pairs past the end of a short text read as 0, and nothing past its terminator is read. A
  // pair reads its leading hexadecimal digits, as a scanned "%2x" would.
  bool ended = false;
  for (int i = 0; i < 6; ++i) {
    const char high = ended ? '\0' : macText[i * 2];
    if (high == 0) ended = true;
    const char low = ended ? '\0' : macText[i * 2 + 1];
    if (low == 0) ended = true;
    int value = 0;
    if (HexDigit(high) >= 0) {
      value = HexDigit(high);
      if (HexDigit(low) >= 0) value = value * 16 + HexDigit(low);
    }
    out6[i] = static_cast<uint8_t>(value);
  }
  return 0;
}

std::string CGlobalUtils::MacBytesToText(const uint8_t* mac6) {
  if (mac6 == nullptr) return std::string();
  char text[13];
  std::snprintf(text, sizeof(text), "%02X%02X%02X%02X%02X%02X", mac6[0], mac6[1], mac6[2], mac6[3],
                mac6[4], mac6[5]);
  return text;
}

std::string CGlobalUtils::RandomText(int length) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  if (length <= 0) return std::string();
  // A private generator of the classic runtime kind, seeded with the current second: the same
  // second gives the same text, and nobody else's rand() sequence is touched.
  uint32_t state = static_cast<uint32_t>(std::time(nullptr));
  std::string text;
  text.reserve(static_cast<size_t>(length));
  for (int i = 0; i < length; ++i) {
    state = state * 214013u + 2531011u;
    const uint32_t next = (state >> 16) & 0x7FFF;
    text += kAlphabet[next % 62];
  }
  return text;
}

std::string CGlobalUtils::FirmwareUrl(const std::string& host, const std::string& fileName) {
  return "http://" + host + ":" + std::to_string(8088) + "/" + "download/rom/" + fileName;
}

int CGlobalUtils::AddConfigItem(char16_t (*items)[kConfigItemChars], const char* key,
                                const char* value) {
  if (items == nullptr || key == nullptr) return -1;
  const int index = FirstEmptyItem(items);
  if (index < 0) return -1;
  WriteItem(items[index], value ? std::string(key) + "=" + value : std::string(key));
  return 0;
}

int CGlobalUtils::AddConfigItemValue(char16_t (*items)[kConfigItemChars], const char* key,
                                     const char* value) {
  if (items == nullptr || key == nullptr || value == nullptr) return -1;
  const int index = FirstEmptyItem(items);
  if (index < 0) return -1;
  WriteItem(items[index], std::string(key) + "=" + value);
  return 0;
}
