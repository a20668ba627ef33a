#include "shell/log_record.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "shell/global_utils.h"
#include "shell/terminal_text.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }

void PutLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v & 0xFF);
  p[1] = static_cast<uint8_t>(v >> 8);
}

uint16_t GetLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

}  // namespace

namespace {

// Decodes the UTF-8 sequence at utf8[i]: its code point (U+FFFD for a malformed one) and the
// bytes it takes (a broken sequence resynchronises at the offending byte).
char32_t NextCodePoint(std::string_view utf8, size_t i, size_t* len) {
  const size_t n = utf8.size();
  const auto b0 = static_cast<uint8_t>(utf8[i]);
  *len = 1;
  if (b0 < 0x80) return b0;
  char32_t cp = kReplacement;
  int extra = 0;
  char32_t minimum = 0;
  if ((b0 & 0xE0) == 0xC0) {
    extra = 1, cp = b0 & 0x1F, minimum = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    extra = 2, cp = b0 & 0x0F, minimum = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    extra = 3, cp = b0 & 0x07, minimum = 0x10000;
  }
  if (extra == 0) return kReplacement;
  for (int k = 1; k <= extra; ++k) {
    if (i + k >= n || (static_cast<uint8_t>(utf8[i + k]) & 0xC0) != 0x80) {
      *len = static_cast<size_t>(k);
      return kReplacement;
    }
    cp = (cp << 6) | (static_cast<uint8_t>(utf8[i + k]) & 0x3F);
  }
  *len = static_cast<size_t>(extra) + 1;
  if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return kReplacement;
  return cp;
}

// Calls put(unit) for every UTF-16 unit of the text, until put returns false.
template <typename Put>
void ForEachUtf16Unit(std::string_view utf8, Put put) {
  size_t i = 0;
  while (i < utf8.size()) {
    size_t len = 1;
    char32_t cp = NextCodePoint(utf8, i, &len);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      if (!put(static_cast<char16_t>(0xD800 + (cp >> 10)))) return;
      if (!put(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)))) return;
    } else if (!put(static_cast<char16_t>(cp))) {
      return;
    }
    i += len;
  }
}

}  // namespace

std::u16string LogUtf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  ForEachUtf16Unit(utf8, [&out](char16_t unit) {
    out.push_back(unit);
    return true;
  });
  return out;
}

std::string LogUtf16ToUtf8(std::u16string_view utf16) { return CGlobalUtils::ToUtf8(utf16); }

int BuildLogDatagram(int level, std::string_view utf8Text, uint8_t* out) {
  // Written straight into out, without a converted copy of the text: every line pays this.
  std::memset(out, 0, kLogHeaderBytes);
  out[0] = kLogMarker0;
  out[1] = kLogMarker1;
  PutLe16(out + 2, static_cast<uint16_t>(level));

  size_t moduleChars = 0;
  ForEachUtf16Unit(kLogModuleName, [&](char16_t unit) {
    if (moduleChars >= kLogModuleChars - 1) return false;
    PutLe16(out + 4 + 2 * moduleChars++, unit);
    return true;
  });

  // One unit more than fits is read, so that a cut between the two halves of a pair (which
  // would leave a lone high surrogate at the end) can be seen and avoided.
  size_t count = 0;
  bool cut = false;
  // Most lines are plain ASCII: those characters go straight in, one unit each; the rest of a
  // line from its first other byte on goes through the decoder.
  const size_t asciiEnd = std::min(utf8Text.size(), static_cast<size_t>(kLogMessageChars));
  while (count < asciiEnd && static_cast<uint8_t>(utf8Text[count]) < 0x80) {
    PutLe16(out + kLogHeaderBytes + 2 * count, static_cast<uint8_t>(utf8Text[count]));
    ++count;
  }
  utf8Text.remove_prefix(count);
  ForEachUtf16Unit(utf8Text, [&](char16_t unit) {
    if (count == static_cast<size_t>(kLogMessageChars)) {
      cut = true;
      return false;
    }
    PutLe16(out + kLogHeaderBytes + 2 * count++, unit);
    return true;
  });
  if (cut && IsHighSurrogate(GetLe16(out + kLogHeaderBytes + 2 * (count - 1)))) --count;
  return kLogHeaderBytes + static_cast<int>(2 * count);
}

bool DecodeLogDatagram(const uint8_t* data, size_t length, LOG_RECORD_T* out, std::string* error) {
  auto fail = [error](const char* reason) {
    if (error) *error = reason;
    return false;
  };
  if (length < static_cast<size_t>(kLogHeaderBytes)) return fail("too short");
  if (data == nullptr || out == nullptr) return fail("no data");
  if (data[0] != kLogMarker0 || data[1] != kLogMarker1) return fail("wrong markers");
  if (length % 2 != 0) return fail("odd length");

  out->level = GetLe16(data + 2);
  std::u16string module;
  for (int i = 0; i < kLogModuleChars; ++i) {
    const char16_t c = GetLe16(data + 4 + 2 * i);
    if (c == 0) break;
    module.push_back(c);
  }
  out->module = LogUtf16ToUtf8(module);

  std::u16string text;
  const size_t chars = (length - kLogHeaderBytes) / 2;
  text.reserve(chars);
  for (size_t i = 0; i < chars; ++i) text.push_back(GetLe16(data + kLogHeaderBytes + 2 * i));
  out->text = LogUtf16ToUtf8(text);
  return true;
}

std::string LogLevelName(int level) {
  switch (level) {
    case 7:
      return "DEBUG";
    case 6:
      return "INFO";
    case 3:
      return "ERROR";
    default:
      return std::to_string(level);
  }
}

std::string FormatLogLine(const LOG_RECORD_T& record, std::string_view timestamp) {
  std::string line(timestamp);
  line += ' ';
  line += LogLevelName(record.level);
  line += ' ';
  line += TerminalSafe(record.module);  // anyone on the host may send a datagram to the port
  line += ' ';
  line += TerminalSafe(record.text);
  return line;
}
