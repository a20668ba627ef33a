#include "protocol/payload_envelope.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <cstring>
#include <ctime>
#include <random>
#include <vector>

#include "shell/secure_wipe.h"

namespace {

constexpr int kAesKeyBytes = 32;

// OpenSSL frees its tables in an exit handler unless told otherwise. The core's worker may
// still be decrypting an answer while the process ends, and would then use freed state (the
// window crashed so on SIGTERM during a /16's traffic). Said before anything else uses it.
[[maybe_unused]] const bool kOpensslStateKeptUntilExit =
    OPENSSL_init_crypto(OPENSSL_INIT_NO_ATEXIT, nullptr) == 1;

int PaddedLength(int textLength) { return ((textLength - 1) / kAesBlock + 1) * kAesBlock; }

// AES-256-CBC without padding through OpenSSL's EVP interface, which uses the processor's AES
// instructions (the low-level AES_* calls do not). One cipher context per thread, reused.
bool AesCbc(bool encrypt, const uint8_t key[kAesKeyBytes], const uint8_t iv[kAesBlock],
            const uint8_t* in, uint8_t* out, int length) {
  // One context a thread. Its key schedule is kept while the key and the direction stay the
  // same (every discovery answer is decrypted with the one discovery key): only the IV is set.
  struct Context {
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    uint8_t key[kAesKeyBytes] = {};
    int direction = -1;  // none prepared
    ~Context() {
      SecureWipe(key, sizeof key);
      EVP_CIPHER_CTX_free(ctx);
    }
  };
  thread_local Context context;
  EVP_CIPHER_CTX* ctx = context.ctx;
  if (ctx == nullptr) return false;
  const int direction = encrypt ? 1 : 0;
  const bool prepared =
      context.direction == direction && std::memcmp(context.key, key, kAesKeyBytes) == 0;
  if (prepared) {
    if (EVP_CipherInit_ex(ctx, nullptr, nullptr, nullptr, iv, direction) != 1) {
      context.direction = -1;
      return false;
    }
  } else {
    context.direction = -1;
    if (EVP_CipherInit_ex(ctx, EVP_aes_256_cbc(), nullptr, key, iv, direction) != 1 ||
        EVP_CIPHER_CTX_set_padding(ctx, 0) != 1)
      return false;
    std::memcpy(context.key, key, kAesKeyBytes);
    context.direction = direction;
  }
  int written = 0;
  return EVP_CipherUpdate(ctx, out, &written, in, length) == 1 && written == length;
}

// Encrypts textLength bytes of text (zero-padded to whole blocks) into scratch.
// Returns the envelope length, or -1 when the cipher fails.
int AesEncryptBuffer(const uint8_t* text, int textLength, std::vector<uint8_t>& scratch,
                     const std::string& keyText, bool withPrefix) {
  const int padded = PaddedLength(textLength);
  std::vector<uint8_t> plain(padded, 0);
  if (textLength > 0) std::memcpy(plain.data(), text, textLength);

  uint8_t iv[kAesBlock] = {};
  uint8_t ivCopy[kAesBlock] = {};
  if (withPrefix) {
    FillRandomIv(iv);
    std::memcpy(ivCopy, iv, sizeof(iv));
  }
  uint8_t key[kAesKeyBytes];
  PadAesKey(keyText, key);

  const int offset = withPrefix ? kEnvelopePrefixLength : 0;
  scratch.assign(padded + offset + 1, 0);
  const bool encrypted = AesCbc(true, key, iv, plain.data(), scratch.data() + offset, padded);
  SecureWipe(plain.data(), plain.size());  // it may hold a password (the authenticate document)
  if (!encrypted) return -1;
  if (withPrefix) {
    std::memcpy(scratch.data(), kEnvelopeMagic, kEnvelopeMagicLength);
    // The IV that starts the chain, not the one the CBC call leaves behind.
    std::memcpy(scratch.data() + kEnvelopeMagicLength, ivCopy, sizeof(ivCopy));
  }
  return padded + offset;
}

// Decrypts an envelope into scratch (ciphertext length + 1 bytes, the last one zero).
// Returns false when the envelope length cannot be valid.
bool AesDecryptBuffer(const uint8_t* envelope, int length, std::vector<uint8_t>& scratch,
                      const std::string& keyText) {
  uint8_t iv[kAesBlock] = {};
  const uint8_t* cipher = envelope;
  int cipherLength = length;
  if (length >= kEnvelopeMagicLength &&
      std::memcmp(envelope, kEnvelopeMagic, kEnvelopeMagicLength) == 0) {
    if (length < kEnvelopePrefixLength) return false;
    std::memcpy(iv, envelope + kEnvelopeMagicLength, sizeof(iv));
    cipher = envelope + kEnvelopePrefixLength;
    cipherLength = length - kEnvelopePrefixLength;
  }
  // CBC works on whole blocks only; a partial block would make the cipher read past the input.
  if (cipherLength % kAesBlock != 0) return false;

  uint8_t key[kAesKeyBytes];
  PadAesKey(keyText, key);
  scratch.assign(cipherLength + 1, 0);
  return cipherLength == 0 || AesCbc(false, key, iv, cipher, scratch.data(), cipherLength);
}

}  // namespace

std::string MakeKeyText(std::string_view keyText) {
  if (keyText.empty()) return kDefaultKeyText;
  std::string text(keyText);
  text += kKeySalt;
  if (text.size() > kAesKeyBytes) text.resize(kAesKeyBytes);
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

void PadAesKey(std::string_view keyText, uint8_t key[32]) {
  std::memset(key, '0', kAesKeyBytes);
  const size_t n = keyText.size() < kAesKeyBytes ? keyText.size() : kAesKeyBytes;
  std::memcpy(key, keyText.data(), n);
}

void FillRandomIv(uint8_t iv[16]) {
  std::minstd_rand generator(static_cast<std::minstd_rand::result_type>(std::time(nullptr)));
  for (int i = 0; i < kAesBlock; ++i) iv[i] = static_cast<uint8_t>(generator() & 0xFF);
}

int EnvelopeLength(int textLength, bool withPrefix) {
  return PaddedLength(textLength) + (withPrefix ? kEnvelopePrefixLength : 0);
}

int EncryptPayload(const uint8_t* input, uint8_t* output, int outputCapacity,
                   std::string_view keyText, int* length, bool withPrefix) {
  if (input == nullptr || output == nullptr || length == nullptr || *length < 0) return -1;
  const int textLength =
      static_cast<int>(strnlen(reinterpret_cast<const char*>(input), static_cast<size_t>(*length)));
  if (EnvelopeLength(textLength, withPrefix) + 1 > outputCapacity) return -1;

  std::vector<uint8_t> scratch;
  const int envelope =
      AesEncryptBuffer(input, textLength, scratch, MakeKeyText(keyText), withPrefix);
  if (envelope < 0) return -1;
  std::memcpy(output, scratch.data(), envelope + 1);
  *length = envelope;
  return 0;
}

int EncryptPayloadDefault(const uint8_t* input, uint8_t* output, int outputCapacity, int* length,
                          bool withPrefix) {
  return EncryptPayload(input, output, outputCapacity, std::string_view(), length, withPrefix);
}

int DecryptPayload(const uint8_t* input, uint8_t* output, int outputCapacity,
                   std::string_view keyText, int length) {
  if (input == nullptr || output == nullptr || length < 0 || outputCapacity <= 0) return -1;
  thread_local std::vector<uint8_t> scratch;  // reused: every discovery answer comes through here
  if (!AesDecryptBuffer(input, length, scratch, MakeKeyText(keyText))) return -1;
  const size_t textLength = strnlen(reinterpret_cast<const char*>(scratch.data()), scratch.size());
  if (static_cast<int>(textLength) + 1 > outputCapacity) return -1;
  std::memcpy(output, scratch.data(), textLength + 1);
  return 0;
}

int DecryptPayloadDefault(const uint8_t* input, uint8_t* output, int outputCapacity, int length) {
  return DecryptPayload(input, output, outputCapacity, std::string_view(), length);
}
