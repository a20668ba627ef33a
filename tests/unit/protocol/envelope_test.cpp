#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "protocol/payload_envelope.h"
#include "protocol_test_util.h"

namespace {

TEST(Envelope, LengthsFollowZeroPaddingToWholeBlocks) {
  struct Case {
    int textLength;
    int bare;
    int prefixed;
  };
  // No PKCS#7: a whole number of blocks gets no extra block, an empty text gets one.
  for (const Case& c : {Case{0, 16, 40}, Case{1, 16, 40}, Case{16, 16, 40}, Case{17, 32, 56},
                        Case{45, 48, 72}, Case{48, 48, 72}, Case{241, 256, 280}}) {
    const std::string text(c.textLength, 'a');
    EXPECT_EQ(Encrypted(text, "021A2B3C4D5E", false).size(), size_t(c.bare)) << c.textLength;
    EXPECT_EQ(Encrypted(text, "021A2B3C4D5E", true).size(), size_t(c.prefixed)) << c.textLength;
    EXPECT_EQ(EnvelopeLength(c.textLength, true), c.prefixed);
  }
}

TEST(Envelope, RoundTripsBothVariantsAndKeys) {
  const std::string text = "<Msg>\r\n\t<Type>Reboot</Type>\r\n</Msg>\r\n \xC3\xA9\xE4\xB8\xAD";
  for (const std::string key : {"", "021A2B3C4D5E", "02:1a:2b:3c:4d:5e", "k"}) {
    for (bool prefixed : {false, true}) {
      const std::vector<uint8_t> envelope = Encrypted(text, key, prefixed);
      ASSERT_FALSE(envelope.empty());
      EXPECT_EQ(Decrypted(envelope.data(), int(envelope.size()), key), text)
          << "key '" << key << "' prefixed " << prefixed;
    }
  }
}

TEST(Envelope, PrefixCarriesMagicAndTheIvThatStartsTheChain) {
  const std::string text(40, 'q');
  const std::vector<uint8_t> prefixed = Encrypted(text, "021A2B3C4D5E", true);
  ASSERT_EQ(prefixed.size(), 24u + 48u);
  EXPECT_EQ(std::string(prefixed.begin(), prefixed.begin() + 8), "ozrq6600");
  // The IV in bytes 8..23 is the one the chain started with: a bit flipped in it flips the same
  // bit of the first decrypted block and nothing else.
  std::vector<uint8_t> rebuilt(prefixed.begin(), prefixed.end());
  EXPECT_EQ(Decrypted(rebuilt.data(), int(rebuilt.size()), "021A2B3C4D5E"), text);
  rebuilt[8 + 3] ^= 0x01;
  std::string flipped = text;
  flipped[3] ^= 0x01;
  EXPECT_EQ(Decrypted(rebuilt.data(), int(rebuilt.size()), "021A2B3C4D5E"), flipped);
}

TEST(Envelope, SameSecondGivesSameIv) {
  // Retry across a second boundary: the property holds within one second.
  for (int attempt = 0; attempt < 3; ++attempt) {
    const std::time_t before = std::time(nullptr);
    const std::vector<uint8_t> a = Encrypted("first", "021A2B3C4D5E", true);
    const std::vector<uint8_t> b = Encrypted("second", "021A2B3C4D5E", true);
    if (std::time(nullptr) != before) continue;
    EXPECT_TRUE(std::equal(a.begin() + 8, a.begin() + 24, b.begin() + 8));
    return;
  }
  FAIL() << "could not encrypt twice within one second";
}

TEST(Envelope, KeyTextRule) {
  EXPECT_EQ(MakeKeyText(""), "Hwalbe27381946!@Hwalbe27381946!@");  // default key keeps its case
  EXPECT_EQ(MakeKeyText("02a7c40000ff"), "02A7C40000FFHWALBE27381946HWALBE");
  EXPECT_EQ(MakeKeyText("02A7C40000FF"), MakeKeyText("02a7c40000fF"));
  // Longer key texts are cut to 32 bytes before the case change.
  EXPECT_EQ(MakeKeyText("02:1a:2b:3c:4d:5e"), "02:1A:2B:3C:4D:5EHWALBE27381946H");
  EXPECT_EQ(MakeKeyText(std::string(40, 'z')), std::string(32, 'Z'));
  uint8_t key[32];
  PadAesKey("ab", key);  // short key texts are filled up with '0'
  EXPECT_EQ(std::string(reinterpret_cast<char*>(key), 32), "ab" + std::string(30, '0'));

  // Letter case does not change the key; the default key differs from a device key.
  const std::vector<uint8_t> upper = Encrypted("same text", "aabbccddeeff", false);
  EXPECT_EQ(upper, Encrypted("same text", "AABBCCDDEEFF", false));
  EXPECT_NE(upper, Encrypted("same text", "", false));
}

TEST(Envelope, RefusesWhatCannotFitOrCannotBeValid) {
  const std::vector<uint8_t> good = Encrypted(std::string(20, 'x'), "", false);  // 32 bytes
  const std::vector<uint8_t> prefixed = Encrypted(std::string(20, 'x'), "", true);
  uint8_t out[128];
  struct Case {
    const char* what;
    const uint8_t* input;
    int length;
    int capacity;
  };
  for (const Case& c :
       {Case{"null input", nullptr, 32, 128}, Case{"negative length", good.data(), -16, 128},
        Case{"not whole blocks", good.data(), 31, 128},
        Case{"prefix cut short", prefixed.data(), 20, 128},
        Case{"prefixed, partial block", prefixed.data(), 50, 128},
        Case{"plaintext larger than output", good.data(), 32, 10},
        Case{"no output room", good.data(), 32, 0}}) {
    std::memset(out, 0xEE, sizeof(out));
    EXPECT_EQ(DecryptPayload(c.input, out, c.capacity, "", c.length), -1) << c.what;
    for (int i = c.capacity; i < int(sizeof(out)); ++i) ASSERT_EQ(out[i], 0xEE) << c.what;
  }
  EXPECT_EQ(DecryptPayloadDefault(good.data(), nullptr, 64, 32), -1);
  // An exact fit works: 20 text bytes and the terminator.
  EXPECT_EQ(DecryptPayloadDefault(good.data(), out, 21, 32), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out)), std::string(20, 'x'));

  // Encrypting never writes past the output: the envelope and a zero byte must fit.
  uint8_t text[64] = {};
  std::memset(text, 'y', 45);
  int length = 45;
  std::memset(out, 0xEE, sizeof(out));
  EXPECT_EQ(EncryptPayloadDefault(text, out, 72, &length, true), -1);  // needs 73
  EXPECT_EQ(out[0], 0xEE);
  EXPECT_EQ(EncryptPayloadDefault(text, out, 73, &length, true), 0);
  EXPECT_EQ(length, 72);
  EXPECT_EQ(out[72], 0);
  EXPECT_EQ(out[73], 0xEE);
  EXPECT_EQ(EncryptPayload(text, out, 128, "", nullptr, false), -1);
}

TEST(Envelope, MagicAtTheStartOfABareCiphertextIsMisread) {
  // A bare envelope whose first bytes happen to read "ozrq6600" is taken as prefixed; the
  // result is not the text (the document parse then fails).
  std::vector<uint8_t> envelope = Encrypted(std::string(60, 'm'), "", false);  // 64 bytes
  std::memcpy(envelope.data(), "ozrq6600", 8);
  EXPECT_NE(Decrypted(envelope.data(), int(envelope.size()), ""), std::string(60, 'm'));
}

std::string Hex(const uint8_t* bytes, int n) {
  std::string hex;
  char two[3];
  for (int i = 0; i < n; ++i) {
    std::snprintf(two, sizeof(two), "%02x", bytes[i]);
    hex += two;
  }
  return hex;
}

TEST(Envelope, MatchesTheOpensslCommandLine) {
  if (std::system("command -v openssl >/dev/null 2>&1") != 0) GTEST_SKIP() << "no openssl binary";
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("envelope_test_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string text = "<Msg>\r\n\t<Type>Discover</Type>\r\n</Msg>\r\n";  // 38 bytes
  uint8_t key[32];
  PadAesKey(MakeKeyText("02A7C40000FF"), key);

  for (bool prefixed : {false, true}) {
    const std::vector<uint8_t> envelope = Encrypted(text, "02A7C40000FF", prefixed);
    const int offset = prefixed ? 24 : 0;
    const uint8_t zeroIv[16] = {};
    const uint8_t* iv = prefixed ? envelope.data() + 8 : zeroIv;
    {
      std::ofstream plain(dir / "plain", std::ios::binary);
      plain << text << std::string(48 - text.size(), '\0');
    }
    const std::string command = "openssl enc -aes-256-cbc -nopad -K " + Hex(key, 32) + " -iv " +
                                Hex(iv, 16) + " -in " + (dir / "plain").string() + " -out " +
                                (dir / "cipher").string();
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::vector<uint8_t> expected;
    {
      std::ifstream cipher(dir / "cipher", std::ios::binary);
      expected.assign(std::istreambuf_iterator<char>(cipher), std::istreambuf_iterator<char>());
    }
    EXPECT_EQ(std::vector<uint8_t>(envelope.begin() + offset, envelope.end()), expected)
        << "prefixed " << prefixed;
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
