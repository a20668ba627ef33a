#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The log datagram sent to the viewer on the loopback interface:
//   0      0xBE 0xBF
//   2      level code, 16-bit little-endian (7 debug, 6 info, 3 error)
//   4      module name, UTF-16LE, 16 characters, zero-terminated inside the field
//   36     message, UTF-16LE, n characters (n <= 511), no terminator
// The datagram is 36 + 2n bytes; the receiver derives n from its length.
constexpr uint8_t kLogMarker0 = 0xBE;
constexpr uint8_t kLogMarker1 = 0xBF;
constexpr int kLogModuleChars = 16;
constexpr int kLogHeaderBytes = 4 + 2 * kLogModuleChars;  // 36
constexpr int kLogMessageChars = 511;
constexpr int kLogDatagramMaxBytes = kLogHeaderBytes + 2 * kLogMessageChars;  // 1058
constexpr const char* kLogModuleName = "IPScanner";

// Builds the datagram for one line into out (at least kLogDatagramMaxBytes). The UTF-8 text is
// converted to UTF-16 (invalid sequences become U+FFFD) and cut to its first 511 UTF-16
// characters, never in the middle of a surrogate pair. Returns the datagram length.
int BuildLogDatagram(int level, std::string_view utf8Text, uint8_t* out);

// One decoded datagram.
struct LOG_RECORD_T {
  int level = 0;
  std::string module;  // UTF-8
  std::string text;    // UTF-8
};

// Decodes a received datagram. Returns false and a short reason in *error for a datagram
// that is too short, carries wrong markers or has an odd length.
bool DecodeLogDatagram(const uint8_t* data, size_t length, LOG_RECORD_T* out, std::string* error);

// "DEBUG", "INFO", "ERROR", or the number for any other code.
std::string LogLevelName(int level);

// "<timestamp> LEVEL module text" with control characters of the text shown as escapes
// (\n, \r, \xNN) so that one datagram stays one line.
std::string FormatLogLine(const LOG_RECORD_T& record, std::string_view timestamp);

// UTF-8 <-> UTF-16 used by the log channel; malformed input becomes U+FFFD.
std::u16string LogUtf8ToUtf16(std::string_view utf8);
std::string LogUtf16ToUtf8(std::u16string_view utf16);
