#include "transport/interface_addresses.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

namespace {

using std::chrono::milliseconds;

TEST(InterfaceAddresses, AnUnknownSourceRereadsTheListAtMostOnceASecond) {
  int reads = 0;
  std::vector<uint32_t> current = {0x0AD50001};
  const auto start = CInterfaceAddresses::Clock::time_point{} + std::chrono::hours(1);
  CInterfaceAddresses addresses(
      [&] {
        ++reads;
        return current;
      },
      start);
  EXPECT_EQ(reads, 1);
  EXPECT_TRUE(addresses.Contains(0x0AD50001));

  // A lease changes the address; a flood of frames from unknown sources meanwhile reads the
  // list once when a second has passed, not once a frame.
  current = {0x0AD50063};
  for (int ms = 0; ms < 1000; ms += 10)
    EXPECT_FALSE(addresses.RereadIfDue(start + milliseconds(ms)));
  EXPECT_EQ(reads, 1);
  EXPECT_FALSE(addresses.Contains(0x0AD50063));
  EXPECT_TRUE(addresses.RereadIfDue(start + milliseconds(1000)));
  EXPECT_EQ(addresses.Known(), current);
  for (int ms = 1000; ms < 2000; ms += 1) addresses.RereadIfDue(start + milliseconds(ms));
  EXPECT_EQ(reads, 2);
  EXPECT_TRUE(addresses.RereadIfDue(start + milliseconds(2000)));
  EXPECT_EQ(reads, 3);
}

}  // namespace
