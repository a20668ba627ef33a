// Captured frames through the receive thread's frame parser.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "transport/udp_frame.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 65536) return 0;
  // An exact-size copy so that any read past the captured bytes is caught.
  std::vector<uint8_t> frame(data, data + size);
  ParsedUdpFrame parsed;
  if (ParseUdpFrame(frame.data(), static_cast<int>(size), &parsed) == FrameParseResult::kOk) {
    if (parsed.payloadLength < 0 || parsed.payload < frame.data() ||
        parsed.payload + parsed.payloadLength > frame.data() + size)
      __builtin_trap();
  }
  static PACKET_RECORD_T record;
  if (ParseUdpFrameToRecord(frame.data(), static_cast<int>(size), &record) ==
      FrameParseResult::kOk) {
    if (record.nDataLen < 0 || record.nDataLen > kPacketDatagramBytes) __builtin_trap();
  }
  char text[16];
  uint32_t ip = 0;
  if (size >= 4) {
    std::memcpy(&ip, data, 4);
    FormatIpv4(ip, text, sizeof(text));
  }
  std::string dotted(reinterpret_cast<const char*>(data), size);
  ParseIpv4(dotted.c_str(), &ip);
  return 0;
}
