#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// AES-256-CBC envelope around every encrypted document.
//   prefixed: "ozrq6600" (8 ASCII bytes), the 16-byte IV, then the ciphertext;
//   bare:     the ciphertext alone, with an all-zero IV.
// The plaintext is zero-padded to a multiple of 16 (an empty text becomes one block of zeros; a
// text whose length is already a multiple of 16 gets no extra block).
//
// Key texts are UTF-8. An empty key text selects the default key text, used as it is. Any other
// key text has the salt appended, is cut to 32 bytes and has a-z upper-cased; the AES key is its
// first 32 bytes, padded with '0' when shorter.
//
// Every entry point takes the capacity of its output buffer and never writes past it; input and
// output may be the same buffer. All return 0 on success and -1 on failure (null pointer,
// negative length, a result that does not fit, or an envelope whose length cannot be valid).

constexpr char kEnvelopeMagic[] = "ozrq6600";  // 8 bytes on the wire, no terminator
constexpr int kEnvelopeMagicLength = 8;
constexpr int kEnvelopePrefixLength = 24;  // magic + IV
constexpr int kAesBlock = 16;
constexpr char kDefaultKeyText[] = "Hwalbe27381946!@Hwalbe27381946!@";
constexpr char kKeySalt[] = "Hwalbe27381946Hwalbe";
// Key text of the discovery request and of the replies that are not bound to one device.
constexpr char kDiscoverKeyText[] = "02A7C40000FF";

// Envelope length for a text of textLength bytes.
int EnvelopeLength(int textLength, bool withPrefix);

// Encrypts the text at input. On entry *length is the number of text bytes available at input;
// the text ends at its first zero byte or there. On return *length is the envelope length.
// output receives the envelope followed by one zero byte (envelope length + 1 <= outputCapacity).
int EncryptPayload(const uint8_t* input, uint8_t* output, int outputCapacity,
                   std::string_view keyText, int* length, bool withPrefix);
int EncryptPayloadDefault(const uint8_t* input, uint8_t* output, int outputCapacity, int* length,
                          bool withPrefix);

// Decrypts an envelope of length bytes at input (prefixed when it starts with the magic) and
// writes the plaintext up to and including its first zero byte. Fails for a ciphertext length
// that is not a multiple of 16, a prefixed envelope shorter than its prefix, or a plaintext
// that does not fit the output. A wrong key is not detected: the result is garbage text.
int DecryptPayload(const uint8_t* input, uint8_t* output, int outputCapacity,
                   std::string_view keyText, int length);
int DecryptPayloadDefault(const uint8_t* input, uint8_t* output, int outputCapacity, int length);

// Internal steps, exposed for tests and tools.
std::string MakeKeyText(std::string_view keyText);  // the rule above; "" -> default key text
void PadAesKey(std::string_view keyText, uint8_t key[32]);
// IV from a generator seeded with the current time in whole seconds: two envelopes made within
// the same second carry the same IV, which the devices accept.
void FillRandomIv(uint8_t iv[16]);
