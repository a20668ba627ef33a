// The log viewer's datagram decoder, and the builder on arbitrary text.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "shell/log_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 8192) return 0;
  std::vector<uint8_t> datagram(data, data + size);
  LOG_RECORD_T record;
  std::string error;
  if (DecodeLogDatagram(datagram.data(), datagram.size(), &record, &error)) {
    FormatLogLine(record, "2026-01-01 00:00:00.000");
  }
  std::u16string units(size / 2, u'\0');
  std::memcpy(units.data(), data, units.size() * 2);
  LogUtf16ToUtf8(units);
  std::string text(reinterpret_cast<const char*>(data), size);
  uint8_t out[kLogDatagramMaxBytes];
  const int length = BuildLogDatagram(size ? data[0] : 0, text, out);
  if (length < kLogHeaderBytes || length > kLogDatagramMaxBytes) __builtin_trap();
  if (!DecodeLogDatagram(out, static_cast<size_t>(length), &record, &error)) __builtin_trap();
  std::u16string wide = LogUtf8ToUtf16(text);
  LogUtf16ToUtf8(wide);
  return 0;
}
