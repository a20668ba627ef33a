#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "shell/global_utils.h"

namespace {

TEST(GlobalUtilsText, IsValidIPv4) {
  struct Case {
    const char* text;
    bool valid;
  } cases[] = {
      {"192.168.1.1", true},
      {"192.168.001.010", true},
      {"0.0.0.0", true},
      {"255.255.255.255", true},
      {"0255.1.1.1", true},
      {"1.2.3", false},
      {"1.2.3.4.5", false},
      {"1..3.4", false},
      {"1.2.3.", false},
      {".1.2.3", false},
      {"1.2.3.00001", false},
      {"256.1.1.1", false},
      {"1.256.1.1", false},
      {"1.1.256.1", false},
      {"1.1.1.256", false},
      {"1.2.3.4 ", false},
      {" 1.2.3.4", false},
      {"1.2.3.a", false},
      {"", false},
      {"1.2.3.-4", false},
      {"9999.1.1.1", false},
  };
  for (const Case& c : cases) EXPECT_EQ(CGlobalUtils::IsValidIPv4(c.text), c.valid) << c.text;
  EXPECT_FALSE(CGlobalUtils::IsValidIPv4(std::string("1.2.3.4\0", 8)));
}

TEST(GlobalUtilsText, IpToTextPutsMostSignificantByteFirst) {
  EXPECT_EQ(CGlobalUtils::IpToText(0xC0A80101u), "192.168.1.1");
  EXPECT_EQ(CGlobalUtils::IpToText(0u), "0.0.0.0");
  EXPECT_EQ(CGlobalUtils::IpToText(0xFFFFFFFFu), "255.255.255.255");
}

TEST(GlobalUtilsText, MacTextToBytes) {
  struct Case {
    const char* text;
    uint8_t expected[6];
  } cases[] = {
      {"0A1B2C3D4E5F", {0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F}},
      {"0a1b2c3d4e5f", {0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F}},
      {"0A1B2C", {0x0A, 0x1B, 0x2C, 0, 0, 0}},  // short text: missing pairs read as 0
      {"0A1B2", {0x0A, 0x1B, 0x02, 0, 0, 0}},   // a lone digit reads as its value
      {"", {0, 0, 0, 0, 0, 0}},
      {"0AZZ2C3D4E5F", {0x0A, 0x00, 0x2C, 0x3D, 0x4E, 0x5F}},
  };
  for (const Case& c : cases) {
    // The text sits at the very end of a heap block, so reading past its terminator would be
    // caught by the address sanitizer.
    const size_t size = std::strlen(c.text) + 1;
    char* text = static_cast<char*>(std::malloc(size));
    std::memcpy(text, c.text, size);
    uint8_t out[6];
    std::memset(out, 0xEE, sizeof(out));
    EXPECT_EQ(CGlobalUtils::MacTextToBytes(text, out), 0);
    EXPECT_EQ(std::memcmp(out, c.expected, 6), 0) << c.text;
    std::free(text);
  }
  uint8_t out[6];
  EXPECT_EQ(CGlobalUtils::MacTextToBytes(nullptr, out), -1);
  EXPECT_EQ(CGlobalUtils::MacTextToBytes("0A1B2C3D4E5F", nullptr), -1);

  // And back: upper case, zero-padded, no separators.
  const uint8_t mac[6] = {0x0A, 0x1B, 0x2C, 0x03, 0xE4, 0xFF};
  EXPECT_EQ(CGlobalUtils::MacBytesToText(mac), "0A1B2C03E4FF");
  EXPECT_EQ(CGlobalUtils::MacBytesToText(nullptr), "");
}

TEST(GlobalUtilsText, TextToIntReadsLeadingDecimal) {
  struct Case {
    const char* text;
    int value;
  } cases[] = {{"42", 42},
               {"  -17abc", -17},
               {"+8", 8},
               {"", 0},
               {"abc", 0},
               {"12.30.1", 12},
               {"99999999999", 2147483647},
               {"-99999999999", -2147483647 - 1}};
  for (const Case& c : cases) {
    EXPECT_EQ(CGlobalUtils::TextToInt(c.text), c.value) << c.text;
    EXPECT_EQ(CGlobalUtils::TextToIntW(CGlobalUtils::ToWide(c.text).c_str()), c.value) << c.text;
  }
  EXPECT_EQ(CGlobalUtils::TextToInt(nullptr), 0);
  EXPECT_EQ(CGlobalUtils::TextToIntW(nullptr), 0);
}

TEST(GlobalUtilsText, WideAndUtf8RoundTrip) {
  const std::string utf8 = "Ger\xC3\xA4t \xE3\x80\x81 \xF0\x9F\x98\x80";  // "Gerät 、 😀"
  const std::u16string wide = CGlobalUtils::ToWide(utf8);
  EXPECT_EQ(wide, u"Ger\u00E4t \u3001 \U0001F600");
  EXPECT_EQ(CGlobalUtils::ToUtf8(wide), utf8);
  // Malformed input becomes U+FFFD instead of being dropped or read past.
  EXPECT_EQ(CGlobalUtils::ToWide("a\xC3"), u"a\uFFFD");
  EXPECT_EQ(CGlobalUtils::ToWide("\xE3\x80"
                                 "b"),
            u"\uFFFD\uFFFDb");
  EXPECT_EQ(CGlobalUtils::ToUtf8(std::u16string(1, char16_t(0xD800)) + u"x"), "\xEF\xBF\xBDx");
}

TEST(GlobalUtilsText, BufferConversionsNeverOverrun) {
  constexpr char16_t kGuard16 = 0x7777;
  constexpr char kGuard8 = 0x55;
  struct Case {
    const char* utf8;
    int size;
    std::u16string expected;
  } cases[] = {
      {"abcdef", 4, u"abc"},
      {"abc", 4, u"abc"},
      {"a\xF0\x9F\x98\x80", 3, u"a"},  // no room for the whole surrogate pair
      {"a\xF0\x9F\x98\x80", 4, u"a\U0001F600"},
      {"abc", 1, u""},
  };
  for (const Case& c : cases) {
    char16_t buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), kGuard16);
    EXPECT_EQ(CGlobalUtils::Utf8ToWide(c.utf8, buffer, c.size), 0);
    EXPECT_EQ(std::u16string(buffer), c.expected) << c.utf8;
    for (int i = c.size; i < 8; ++i) EXPECT_EQ(buffer[i], kGuard16) << c.utf8;
  }

  struct WideCase {
    std::u16string wide;
    int size;
    std::string expected;
  } wideCases[] = {
      {u"abcdef", 4, "abc"},
      {u"\u00E4\u00E4", 4, "\xC3\xA4"},  // the second two-byte character does not fit
      {u"\U0001F600", 4, ""},
      {u"\U0001F600", 5, "\xF0\x9F\x98\x80"},
  };
  for (const WideCase& c : wideCases) {
    char buffer[8];
    std::memset(buffer, kGuard8, sizeof(buffer));
    const int written = CGlobalUtils::WideToUtf8(c.wide.c_str(), buffer, c.size);
    EXPECT_EQ(std::string(buffer), c.expected);
    EXPECT_EQ(written, static_cast<int>(c.expected.size()) + 1);
    for (int i = c.size; i < 8; ++i) EXPECT_EQ(buffer[i], kGuard8);
  }

  char16_t wide[4];
  char narrow[4];
  EXPECT_EQ(CGlobalUtils::Utf8ToWide(nullptr, wide, 4), -1);
  EXPECT_EQ(CGlobalUtils::Utf8ToWide("a", nullptr, 4), -1);
  EXPECT_EQ(CGlobalUtils::Utf8ToWide("a", wide, 0), -1);
  EXPECT_EQ(CGlobalUtils::WideToUtf8(nullptr, narrow, 4), -1);
  EXPECT_EQ(CGlobalUtils::WideToUtf8(u"a", narrow, -1), -1);
}

TEST(GlobalUtilsText, RandomTextIsStablePerSecondAndLeavesRandAlone) {
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::string first;
  std::string second;
  // Repeat when a second boundary falls between the two calls.
  for (int attempt = 0; attempt < 5; ++attempt) {
    const time_t before = std::time(nullptr);
    first = CGlobalUtils::RandomText(32);
    second = CGlobalUtils::RandomText(32);
    if (std::time(nullptr) == before) break;
  }
  EXPECT_EQ(first, second);
  ASSERT_EQ(first.size(), 32u);
  EXPECT_EQ(first.find_first_not_of(alphabet), std::string::npos);
  EXPECT_NE(first.find_first_not_of(first[0]), std::string::npos);
  EXPECT_EQ(CGlobalUtils::RandomText(0), "");

  std::srand(1234);
  const int expected = std::rand();
  std::srand(1234);
  (void)CGlobalUtils::RandomText(16);
  EXPECT_EQ(std::rand(), expected);
}

TEST(GlobalUtilsText, FirmwareUrl) {
  EXPECT_EQ(CGlobalUtils::FirmwareUrl("192.168.1.10", "fw_105.bin"),
            "http://192.168.1.10:8088/download/rom/fw_105.bin");
}

class ConfigItems : public ::testing::Test {
protected:
  void SetUp() override { std::memset(items_, 0, sizeof(items_)); }
  std::string Item(int index) const {
    return CGlobalUtils::ToUtf8(std::u16string_view(items_[index]));
  }
  char16_t items_[kConfigItemCount][kConfigItemChars];
};

TEST_F(ConfigItems, WriteIntoFirstEmptyEntry) {
  EXPECT_EQ(CGlobalUtils::AddConfigItem(items_, "Config.Status.IP", nullptr), 0);
  EXPECT_EQ(CGlobalUtils::AddConfigItemValue(items_, "Config.Network.LAN.Type", "2"), 0);
  EXPECT_EQ(CGlobalUtils::AddConfigItem(items_, "Config.Network.LAN.DNS1", "8.8.8.8"), 0);
  EXPECT_EQ(Item(0), "Config.Status.IP");
  EXPECT_EQ(Item(1), "Config.Network.LAN.Type=2");
  EXPECT_EQ(Item(2), "Config.Network.LAN.DNS1=8.8.8.8");

  // A gap: entry 2 emptied while 5 is used; the next item goes to 2.
  items_[2][0] = 0;
  CGlobalUtils::Utf8ToWide("used", items_[5], kConfigItemChars);
  EXPECT_EQ(CGlobalUtils::AddConfigItem(items_, "Config.Status.MAC", nullptr), 0);
  EXPECT_EQ(Item(2), "Config.Status.MAC");
  EXPECT_EQ(Item(5), "used");
}

TEST_F(ConfigItems, FullArrayAndNullArgumentsChangeNothing) {
  for (int i = 0; i < kConfigItemCount; ++i) {
    ASSERT_EQ(CGlobalUtils::AddConfigItem(items_, ("Key" + std::to_string(i)).c_str(), nullptr), 0);
  }
  char16_t before[kConfigItemCount][kConfigItemChars];
  std::memcpy(before, items_, sizeof(items_));
  EXPECT_EQ(CGlobalUtils::AddConfigItem(items_, "More", nullptr), -1);
  EXPECT_EQ(CGlobalUtils::AddConfigItemValue(items_, "More", "1"), -1);
  EXPECT_EQ(std::memcmp(before, items_, sizeof(items_)), 0);

  SetUp();
  EXPECT_EQ(CGlobalUtils::AddConfigItem(nullptr, "K", nullptr), -1);
  EXPECT_EQ(CGlobalUtils::AddConfigItem(items_, nullptr, "v"), -1);
  EXPECT_EQ(CGlobalUtils::AddConfigItemValue(items_, "K", nullptr), -1);
  EXPECT_EQ(CGlobalUtils::AddConfigItemValue(items_, nullptr, "v"), -1);
  EXPECT_EQ(items_[0][0], 0);
}

TEST_F(ConfigItems, LongItemIsCutInsideItsEntry) {
  const std::string longValue(200, 'x');
  EXPECT_EQ(CGlobalUtils::AddConfigItemValue(items_, "Config.Key", longValue.c_str()), 0);
  EXPECT_EQ(Item(0), ("Config.Key=" + longValue).substr(0, kConfigItemChars - 1));
  EXPECT_EQ(items_[0][kConfigItemChars - 1], 0);
  EXPECT_EQ(items_[1][0], 0);  // nothing spilled into the next entry
  EXPECT_EQ(CGlobalUtils::AddConfigItem(items_, "Next", nullptr), 0);
  EXPECT_EQ(Item(1), "Next");
}

}  // namespace
