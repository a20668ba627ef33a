// The command line's offline capture decoder. With bit 0 of byte 0 set the rest of the input is
// the capture file as it is; otherwise the rest is a list of frames (2-byte little-endian length,
// then the frame) that the harness writes into a valid Ethernet capture, so that the datagrams,
// envelopes and documents are reached.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "cli/capture_decoder.h"

namespace {

void Put32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>(v >> (8 * i));
}

void Put16(std::string& out, uint16_t v) {
  out += static_cast<char>(v);
  out += static_cast<char>(v >> 8);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 65536) return 0;
  std::string file;
  if (data[0] & 1) {
    file.assign(reinterpret_cast<const char*>(data + 1), size - 1);
  } else {
    Put32(file, 0xA1B2C3D4);  // pcap, microsecond stamps, this machine's byte order
    Put16(file, 2);
    Put16(file, 4);
    Put32(file, 0);
    Put32(file, 0);
    Put32(file, 65535);
    Put32(file, 1);  // Ethernet
    size_t pos = 1;
    uint32_t second = 1;
    while (pos + 2 <= size) {
      size_t length = data[pos] | data[pos + 1] << 8;
      pos += 2;
      length = std::min(length, size - pos);
      Put32(file, second++);
      Put32(file, 0);
      Put32(file, static_cast<uint32_t>(length));
      Put32(file, static_cast<uint32_t>(length));
      file.append(reinterpret_cast<const char*>(data + pos), length);
      pos += length;
    }
  }
  static const std::string path = "/tmp/capture_decoder_fuzz." + std::to_string(getpid()) + ".pcap";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  std::fwrite(file.data(), 1, file.size(), f);
  std::fclose(f);
  CCaptureDecoder decoder;
  std::string error;
  if (decoder.Load(path, &error)) {
    std::ostringstream out;
    decoder.Decode(out);
  }
  return 0;
}
