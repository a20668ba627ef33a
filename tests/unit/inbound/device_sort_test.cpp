#include "core/common/device_sort.h"

#include <gtest/gtest.h>

namespace {

DEVICE_ENTRY_T Dev(const char* ip, const char* mac, const char* model) {
  return DEVICE_ENTRY_T{ip, mac, mac, model, "", ""};
}

std::string Macs(const std::vector<DEVICE_ENTRY_T>& devices) {
  std::string out;
  for (const auto& d : devices) out += d.mac + " ";
  return out;
}

TEST(DeviceSort, ParseIPv4AcceptsOnlyFourDecimalGroups) {
  const struct {
    const char* text;
    bool ok;
    uint32_t value;
  } cases[] = {
      {"192.168.1.1", true, 0xC0A80101},
      {"192.168.001.010", true, 0xC0A8010A},
      {"0.0.0.0", true, 0},
      {"255.255.255.255", true, 0xFFFFFFFF},
      {"1.2.3", false, 0},
      {"1.2.3.4.5", false, 0},
      {"1..3.4", false, 0},
      {"1.2.3.", false, 0},
      {"1.2.3.00001", false, 0},
      {"256.1.1.1", false, 0},
      {"1.2.3.4 ", false, 0},
      {"", false, 0},
  };
  for (const auto& c : cases) {
    uint32_t value = 12345;
    EXPECT_EQ(CDeviceSort::ParseIPv4(c.text, &value), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(value, c.value) << c.text;
    }
  }
}

TEST(DeviceSort, IpSortIsNumericNotTextual) {
  std::vector<DEVICE_ENTRY_T> d = {Dev("10.0.0.10", "A", ""), Dev("10.0.0.9", "B", ""),
                                   Dev("9.255.0.1", "C", "")};
  CDeviceSort::Sort(d, 1, 0);
  EXPECT_EQ(Macs(d), "C B A ");
  CDeviceSort::Sort(d, 2, 0);
  EXPECT_EQ(Macs(d), "A B C ");
}

TEST(DeviceSort, TiesFallToModelThenMacIgnoringCase) {
  std::vector<DEVICE_ENTRY_T> d = {Dev("1.1.1.1", "b2", "indoor"), Dev("1.1.1.1", "B1", "Door"),
                                   Dev("bad", "a9", "DOOR"), Dev("1.1.1.1", "a1", "Indoor")};
  CDeviceSort::Sort(d, 0, 1);
  EXPECT_EQ(Macs(d), "a9 B1 a1 b2 ");
  CDeviceSort::Sort(d, 0, 2);
  EXPECT_EQ(Macs(d), "a1 b2 a9 B1 ");
  // An invalid IP on either side skips the IP key.
  EXPECT_LT(CDeviceSort::Compare(Dev("bad", "A", ""), Dev("1.1.1.1", "B", ""), 1, 0), 0);
}

}  // namespace
