#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

// Decrypt key schedules of device key texts, kept between datagrams so that trying many
// devices' keys on one envelope costs one AES block per key instead of a key expansion, a
// whole decryption and an XML parse. Thread-safe; one process-wide instance.
class CEnvelopeKeyCache {
public:
  static CEnvelopeKeyCache* GetInstance();
  CEnvelopeKeyCache();
  ~CEnvelopeKeyCache();

  // Index of the first key at or after from whose decryption of the envelope's first block
  // starts like an XML document (optional UTF-8 byte-order mark and white space, then '<'), or
  // keys.size() when none does. An envelope whose length no key can decrypt gives keys.size()
  // at once. A key that passes is only a candidate: the caller decrypts and parses in full.
  // Keys at or after `to` are not tried.
  size_t NextCandidateKey(const uint8_t* envelope, int length, const std::vector<std::string>& keys,
                          size_t from, size_t to = SIZE_MAX);

private:
  struct Schedule;
  const Schedule& ScheduleFor(const std::string& keyText);  // lock_ held

  std::mutex lock_;
  std::unordered_map<std::string, std::unique_ptr<Schedule>> schedules_;
};
