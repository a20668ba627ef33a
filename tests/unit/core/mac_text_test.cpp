#include "core/common/mac_text.h"

#include <gtest/gtest.h>

// The window shows every MAC in one spelling; a text that is no MAC is shown as the device sent
// it, never made to look like one.
TEST(MacText, DisplaySpellingIsUpperCaseWithColons) {
  const struct {
    const char* in;
    const char* shown;
  } cases[] = {
      {"021A2B000001", "02:1A:2B:00:00:01"},      {"02:1a:2b:00:00:02", "02:1A:2B:00:00:02"},
      {"02-1A-2B-00-00-0D", "02:1A:2B:00:00:0D"}, {"021a2b00000c", "02:1A:2B:00:00:0C"},
      {"02:1A:2B:00:00", "02:1A:2B:00:00"},       {"not a mac!!!", "not a mac!!!"},
      {"02:1A:2B:00:00:0G", "02:1A:2B:00:00:0G"}, {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(DisplayMacText(c.in), c.shown) << c.in;
}

// Every spelling decided once: each public MAC function must agree with ParseMac on whether a
// text is a MAC and, when it is, on its value. A copy that disagreed (one that kept '.', one
// that took 13 digits) made one device two keys, and the site record's joins missed.
TEST(MacText, EveryFunctionAgreesOnEverySpelling) {
  constexpr uint64_t kMac = 0x021A2B3C4D5E;
  const struct {
    const char* text;
    bool isMac;
  } cases[] = {
      {"02:1a:2b:3c:4d:5e", true},
      {"02:1A:2B:3C:4D:5E", true},
      {"02-1A-2B-3C-4D-5E", true},
      {"021a.2b3c.4d5e", true},
      {"021A.2B3C.4D5E", true},
      {"021A2B3C4D5E", true},
      {"021a2B3c4D5e", true},
      {"02:1a-2b.3c4d5e", true},
      {":021A2B3C4D5E.", true},
      {"0:21A2B:3C4D5:E", true},
      {"02::1a::2b::3c::4d::5e", true},
      {"021A2B3C4D5", false},
      {"02:1A:2B:3C:4D:5", false},
      {"021A2B3C4D5E0", false},
      {"02:1A:2B:3C:4D:5E:0", false},
      {"02:1A:2B:3C:4D:5G", false},
      {"02 1A 2B 3C 4D 5E", false},
      {"021A2B3C4D5E ", false},
      {"0x021A2B3C4D5E", false},
      {"", false},
      {":-.", false},
      {"not a mac!!!", false},
      {"021A2B3C4D5\xC3\xA9", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const std::optional<uint64_t> parsed = ParseMac(c.text);
    ASSERT_EQ(parsed.has_value(), c.isMac);
    EXPECT_EQ(IsMacText(c.text), c.isMac);
    EXPECT_EQ(IsMacKey(MacKeyOf(c.text)), c.isMac);
    EXPECT_EQ(SameMac(c.text, "02:1A:2B:3C:4D:5E"), c.isMac);
    if (c.isMac) {
      EXPECT_EQ(*parsed, kMac);
      EXPECT_EQ(MacKeyOf(c.text), kMac);
      EXPECT_EQ(CompactMacText(c.text), "021A2B3C4D5E");
      EXPECT_EQ(DisplayMacText(c.text), "02:1A:2B:3C:4D:5E");
    } else {
      // A text that is no MAC stays itself everywhere: never made into a MAC, never folded.
      EXPECT_EQ(CompactMacText(c.text), c.text);
      EXPECT_EQ(DisplayMacText(c.text), c.text);
      EXPECT_TRUE(SameMac(c.text, c.text));
      EXPECT_EQ(MacKeyOf(c.text), MacKeyOf(std::string(c.text)));
    }
  }
  // Any two texts: the same device by one function exactly when by every other.
  for (const auto& a : cases) {
    for (const auto& b : cases) {
      const bool same = SameMac(a.text, b.text);
      EXPECT_EQ(same, CompactMacText(a.text) == CompactMacText(b.text))
          << a.text << " / " << b.text;
      EXPECT_EQ(same, MacKeyOf(a.text) == MacKeyOf(b.text)) << a.text << " / " << b.text;
      EXPECT_EQ(same, DisplayMacText(a.text) == DisplayMacText(b.text))
          << a.text << " / " << b.text;
    }
  }
}

// The formatters give back what the parser reads, for values whose digits are letters, zeros and
// the extremes.
TEST(MacText, FormattedMacsParseBackToTheirValue) {
  for (const uint64_t mac :
       {0x000000000000ull, 0xFFFFFFFFFFFFull, 0x0A0B0C0D0E0Full, 0xABCDEF012345ull}) {
    EXPECT_EQ(ParseMac(FormatMac(mac)), mac);
    EXPECT_EQ(ParseMac(FormatCompactMac(mac)), mac);
    EXPECT_EQ(FormatMac(mac).size(), 17u);
    EXPECT_EQ(FormatCompactMac(mac).size(), 12u);
  }
  EXPECT_EQ(FormatMac(0xABCDEF012345ull), "AB:CD:EF:01:23:45");
  EXPECT_EQ(FormatCompactMac(0x0A0B0C0D0E0Full), "0A0B0C0D0E0F");
}
