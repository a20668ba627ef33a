// The low-level AES calls are what the devices' envelope is defined with (see payload_envelope).
#define OPENSSL_SUPPRESS_DEPRECATED
#include "protocol/envelope_key_cache.h"

#include <openssl/aes.h>

#include <algorithm>
#include <cstring>

#include "protocol/payload_envelope.h"

namespace {

// Keys of devices long gone are forgotten once this many are cached (about 250 bytes each).
constexpr size_t kMaxCachedSchedules = 65536;

bool StartsLikeXml(const uint8_t block[kAesBlock]) {
  int i = 0;
  if (block[0] == 0xEF && block[1] == 0xBB && block[2] == 0xBF) i = 3;
  for (; i < kAesBlock; ++i) {
    const uint8_t c = block[i];
    if (c == '<') return true;
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return false;
  }
  return true;  // white space only so far: let the full parse decide
}

}  // namespace

struct CEnvelopeKeyCache::Schedule {
  AES_KEY key;
};

CEnvelopeKeyCache* CEnvelopeKeyCache::GetInstance() {
  static CEnvelopeKeyCache* instance = new CEnvelopeKeyCache();  // lives until the process ends
  return instance;
}

CEnvelopeKeyCache::CEnvelopeKeyCache() = default;
CEnvelopeKeyCache::~CEnvelopeKeyCache() = default;

const CEnvelopeKeyCache::Schedule& CEnvelopeKeyCache::ScheduleFor(const std::string& keyText) {
  auto it = schedules_.find(keyText);
  if (it != schedules_.end()) return *it->second;
  if (schedules_.size() >= kMaxCachedSchedules) schedules_.clear();
  auto schedule = std::make_unique<Schedule>();
  uint8_t key[32];
  PadAesKey(MakeKeyText(keyText), key);
  AES_set_decrypt_key(key, 256, &schedule->key);
  return *schedules_.emplace(keyText, std::move(schedule)).first->second;
}

size_t CEnvelopeKeyCache::NextCandidateKey(const uint8_t* envelope, int length,
                                           const std::vector<std::string>& keys, size_t from,
                                           size_t to) {
  if (envelope == nullptr || length < 0) return keys.size();
  uint8_t iv[kAesBlock] = {};
  const uint8_t* cipher = envelope;
  int cipherLength = length;
  if (length >= kEnvelopeMagicLength &&
      std::memcmp(envelope, kEnvelopeMagic, kEnvelopeMagicLength) == 0) {
    if (length < kEnvelopePrefixLength) return keys.size();
    std::memcpy(iv, envelope + kEnvelopeMagicLength, sizeof(iv));
    cipher = envelope + kEnvelopePrefixLength;
    cipherLength = length - kEnvelopePrefixLength;
  }
  // Same rule as the decryption: whole blocks only. An empty ciphertext decrypts to an empty
  // text with any key, which no key can turn into a document.
  if (cipherLength <= 0 || cipherLength % kAesBlock != 0) return keys.size();

  std::lock_guard<std::mutex> guard(lock_);
  const size_t end = std::min(to, keys.size());
  for (size_t i = from; i < end; ++i) {
    uint8_t block[kAesBlock];
    AES_decrypt(cipher, block, &ScheduleFor(keys[i]).key);
    for (int b = 0; b < kAesBlock; ++b) block[b] ^= iv[b];
    if (StartsLikeXml(block)) return i;
  }
  return keys.size();
}
