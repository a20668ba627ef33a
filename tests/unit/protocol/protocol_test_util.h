#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "protocol/payload_envelope.h"

inline std::vector<uint8_t> ReadFixture(const std::string& name) {
  std::ifstream in(std::string(IPS_TEST_DATA_DIR) + "/protocol/" + name, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::vector<uint8_t> Bytes(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

// A reply as a device sends it: the document in the chosen envelope under the given key text.
inline std::vector<uint8_t> Encrypted(const std::string& text, const std::string& keyText,
                                      bool withPrefix) {
  std::vector<uint8_t> buffer(text.size() + 64, 0);
  std::copy(text.begin(), text.end(), buffer.begin());
  int length = static_cast<int>(text.size());
  if (EncryptPayload(buffer.data(), buffer.data(), static_cast<int>(buffer.size()), keyText,
                     &length, withPrefix) != 0) {
    return {};
  }
  buffer.resize(length);
  return buffer;
}

inline std::string Decrypted(const uint8_t* envelope, int length, const std::string& keyText) {
  std::vector<uint8_t> out(length + 1, 0);
  if (DecryptPayload(envelope, out.data(), length + 1, keyText, length) != 0) return "<failed>";
  return std::string(reinterpret_cast<const char*>(out.data()));
}
