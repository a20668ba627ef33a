#include "transport/arp_frame.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

const uint8_t kAdapterMac[6] = {0xd6, 0xcc, 0xb2, 0x07, 0xeb, 0x6d};

// The kernel's answer to an address-conflict probe for 10.213.0.9: a reply from the owner
// 3e:11:22:33:44:55 to the prober's MAC with target address 0.0.0.0, padded to 60 bytes.
const uint8_t kKernelReply[60] = {
    0xd6, 0xcc, 0xb2, 0x07, 0xeb, 0x6d, 0x3e, 0x11, 0x22, 0x33, 0x44, 0x55, 0x08, 0x06,  // eth
    0x00, 0x01, 0x08, 0x00, 0x06, 0x04, 0x00, 0x02,                                      // reply
    0x3e, 0x11, 0x22, 0x33, 0x44, 0x55, 0x0a, 0xd5, 0x00, 0x09,                          // sender
    0xd6, 0xcc, 0xb2, 0x07, 0xeb, 0x6d, 0x00, 0x00, 0x00, 0x00,                          // target
};

TEST(ArpFrame, ProbeAsksFromTheZeroAddressByBroadcast) {
  uint8_t frame[kArpPaddedFrameBytes];
  ASSERT_EQ(BuildArpProbe(kAdapterMac, 0x0AD50009, frame, sizeof(frame)), 60);
  const std::vector<uint8_t> expected = {
      0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xd6, 0xcc, 0xb2, 0x07, 0xeb,
      0x6d, 0x08, 0x06, 0x00, 0x01, 0x08, 0x00, 0x06, 0x04, 0x00, 0x01,  // request
      0xd6, 0xcc, 0xb2, 0x07, 0xeb, 0x6d, 0x00, 0x00, 0x00, 0x00,        // tell 0.0.0.0
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0a, 0xd5, 0x00, 0x09,        // who has
  };
  EXPECT_EQ(std::vector<uint8_t>(frame, frame + 42), expected);
  EXPECT_EQ(std::vector<uint8_t>(frame + 42, frame + 60), std::vector<uint8_t>(18, 0));
  EXPECT_TRUE(IsArpProbe(frame, 60));
  EXPECT_FALSE(IsArpProbe(kKernelReply, 60)) << "a reply is not a probe";
  EXPECT_EQ(BuildArpProbe(kAdapterMac, 1, frame, 59), -1);
}

TEST(ArpFrame, ReadsTheOwnersClaim) {
  ArpReply reply;
  ASSERT_TRUE(ParseArpClaim(kKernelReply, sizeof(kKernelReply), &reply));
  EXPECT_EQ(reply.senderIp, 0x0AD50009u);
  EXPECT_EQ(std::memcmp(reply.senderMac, kKernelReply + 6, 6), 0);
}

TEST(ArpFrame, IgnoresWhatClaimsNothing) {
  uint8_t probe[kArpPaddedFrameBytes];
  BuildArpProbe(kAdapterMac, 0x0AD50009, probe, sizeof(probe));
  struct Case {
    const char* what;
    int offset;
    uint8_t value;
    int length;
  } cases[] = {
      {"cut short", 0, 0x08, 41},
      {"IPv4, not ARP", 13, 0x00, 60},
      {"not Ethernet hardware", 15, 0x06, 60},
      {"hardware length 8", 18, 8, 60},
      {"operation 3 (RARP)", 21, 3, 60},
      {"sender 0.0.0.0", 28, 0, 60},
  };
  for (const Case& c : cases) {
    uint8_t frame[60];
    std::memcpy(frame, kKernelReply, 60);
    frame[c.offset] = c.value;
    if (c.offset == 28) std::memset(frame + 28, 0, 4);
    ArpReply reply;
    EXPECT_FALSE(ParseArpClaim(frame, c.length, &reply)) << c.what;
  }
  ArpReply reply;
  EXPECT_FALSE(ParseArpClaim(probe, sizeof(probe), &reply)) << "our own probe";
  EXPECT_FALSE(ParseArpClaim(nullptr, 60, &reply));
}

}  // namespace
