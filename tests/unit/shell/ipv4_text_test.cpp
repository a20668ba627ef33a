#include "shell/ipv4_text.h"

#include <gtest/gtest.h>

#include "core/common/device_sort.h"
#include "shell/global_utils.h"

// The address checks, the list's numeric sort and the frames read an address by one rule: the
// names each part of the program knows it by must agree on every text, valid or not, and on the
// value.
TEST(Ipv4Text, EveryNameReadsAnAddressTheSameWay) {
  const struct {
    const char* text;
    uint32_t value;  // 0 with valid false
    bool valid;
  } cases[] = {
      {"192.168.1.1", 0xC0A80101, true},
      {"192.168.001.010", 0xC0A8010A, true},
      {"0.0.0.0", 0, true},
      {"255.255.255.255", 0xFFFFFFFF, true},
      {"0255.1.1.1", 0xFF010101, true},
      {"1.2.3", 0, false},
      {"1.2.3.4.5", 0, false},
      {"1..3.4", 0, false},
      {"1.2.3.", 0, false},
      {".1.2.3", 0, false},
      {"1.2.3.00001", 0, false},
      {"256.1.1.1", 0, false},
      {"1.1.1.256", 0, false},
      {"1.2.3.4 ", 0, false},
      {"1.2.3.a", 0, false},
      {"", 0, false},
      {"1.2.3.-4", 0, false},
      {"...", 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    uint32_t parsed = 0x12345678;
    uint32_t sorted = 0x12345678;
    EXPECT_EQ(ParseIpv4(c.text, &parsed), c.valid);
    EXPECT_EQ(ParseIpv4(std::string_view(c.text), nullptr), c.valid);
    EXPECT_EQ(CGlobalUtils::IsValidIPv4(c.text), c.valid);
    EXPECT_EQ(CDeviceSort::ParseIPv4(c.text, &sorted), c.valid);
    if (c.valid) {
      EXPECT_EQ(parsed, c.value);
      EXPECT_EQ(sorted, c.value);
      // Formatting gives the address back without its leading zeros.
      uint32_t again = 0;
      ASSERT_TRUE(ParseIpv4(Ipv4Text(c.value), &again));
      EXPECT_EQ(again, c.value);
      EXPECT_EQ(CGlobalUtils::IpToText(c.value), Ipv4Text(c.value));
    } else {
      EXPECT_EQ(parsed, 0x12345678u) << "a failed parse leaves the value alone";
    }
  }
  // A C text ends at its terminator; a NUL inside a counted text is a wrong character.
  const std::string withNul("1.2.3.4\0", 8);
  EXPECT_TRUE(ParseIpv4(withNul.c_str(), nullptr));
  EXPECT_FALSE(ParseIpv4(std::string_view(withNul), nullptr));
  EXPECT_FALSE(CGlobalUtils::IsValidIPv4(withNul));
  EXPECT_FALSE(ParseIpv4(static_cast<const char*>(nullptr), nullptr));
  // The formatter cuts to the room it is given and always ends the text.
  char small[8];
  FormatIpv4(0xC0A80101, small, sizeof(small));
  EXPECT_STREQ(small, "192.168");
  EXPECT_EQ(Ipv4Text(0x0A000001), "10.0.0.1");
}
