#include <gtest/gtest.h>

#include "core/common/op_clock.h"
#include "inbound_fixture.h"

namespace inbound_test {
namespace {

constexpr uint8_t kFrameMac[6] = {0x02, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
using InboundStatus = InboundTest;

// The tracker hears exactly the answers that reach the table, keyed like the table.
TEST_F(InboundStatus, DiscoveryAnswersFeedTheTrackerAndBrokenOnesDoNot) {
  CManualOpClock clock;
  control.DeviceStatus().SetClock(&clock);
  clock.Advance(std::chrono::milliseconds(1234));
  const PACKET_RECORD_T good =
      Received(MSG_DISCOVER_ACK, DiscoverDoc("02:1a:2b:3c:4d:5e", "", "10.0.0.5", "M", "29.1"),
               kDiscoverKeyText, Envelope::kBare, kFrameMac);
  PACKET_RECORD_T broken = good;
  broken.nDataLen = kMsgHeaderLength + 5;  // cut short: the header claims more
  ASSERT_EQ(control.OnSocketMsg(&broken), -1);
  EXPECT_TRUE(control.DeviceStatus().Snapshot().devices.empty());

  ASSERT_EQ(control.OnSocketMsg(&good), 0);
  const DEVICE_LIVE_T live = control.DeviceStatus().Snapshot().LiveOf("02:1a:2b:3c:4d:5e");
  EXPECT_TRUE(live.known);
  EXPECT_EQ(live.lastSeen, std::chrono::milliseconds(1234));
}

}  // namespace
}  // namespace inbound_test
