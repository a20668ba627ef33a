// Envelope decryption with arbitrary lengths and output capacities. Input: 2 bytes output
// capacity, 2 bytes length adjustment, 1 byte key choice, then the envelope.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "protocol/payload_envelope.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5 || size > 8192) return 0;
  const int capacity = data[0] | (data[1] & 0x3F) << 8;  // 0 .. 16383
  const int adjust = static_cast<int8_t>(data[2]);       // length claimed vs bytes present
  const uint8_t keyChoice = data[3];
  const uint8_t* envelope = data + 5;
  const int present = static_cast<int>(size - 5);
  std::vector<uint8_t> input(envelope, envelope + present);
  // A claimed length never beyond the buffer: the callers pass what they hold.
  int length = present;
  if (adjust < 0) length = present + adjust;  // shorter, or negative
  std::string key;
  switch (keyChoice & 3) {
    case 0:
      break;
    case 1:
      key = kDiscoverKeyText;
      break;
    case 2:
      key = "02A7C4123456";
      break;
    default:
      key.assign(reinterpret_cast<const char*>(data + 5),
                 std::min<size_t>(size - 5, keyChoice >> 2));
      break;
  }
  std::vector<uint8_t> out(static_cast<size_t>(capacity));
  const int rc =
      DecryptPayload(input.data(), capacity ? out.data() : nullptr, capacity, key, length);
  if (rc == 0 && capacity > 0 && std::memchr(out.data(), 0, out.size()) == nullptr)
    __builtin_trap();
  // In place, as the message handler does it.
  if (length >= 0) {
    std::vector<uint8_t> inplace(input);
    inplace.resize(std::max<size_t>(inplace.size(), 1));
    DecryptPayload(inplace.data(), inplace.data(), static_cast<int>(inplace.size()), key, length);
  }
  std::vector<uint8_t> def(static_cast<size_t>(capacity) + 1);
  DecryptPayloadDefault(input.data(), def.data(), capacity, length);
  if (length >= 0 && length < 2048) {
    // Round trip: whatever text goes in comes back up to its first zero byte.
    std::vector<uint8_t> buf(static_cast<size_t>(EnvelopeLength(length, true)) + 1, 0);
    int n = length;
    if (EncryptPayload(input.data(), buf.data(), static_cast<int>(buf.size()), key, &n, true) ==
        0) {
      std::vector<uint8_t> back(buf.size() + 1, 0);
      if (DecryptPayload(buf.data(), back.data(), static_cast<int>(back.size()), key, n) != 0)
        __builtin_trap();
      const size_t textLen = strnlen(reinterpret_cast<const char*>(input.data()), length);
      if (std::memcmp(back.data(), input.data(), textLen) != 0 || back[textLen] != 0)
        __builtin_trap();
    }
  }
  return 0;
}
