#include "transport/udp_frame.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "shell/global_utils.h"
#include "transport/checksum.h"
#include "transport/mac_proto_control.h"

namespace {

// A device answer as captured: 14-byte datagram from 02:1A:2B:3C:4D:5E / 10.213.1.7:8500 to
// 10.213.0.1:8505, zero-padded to the 60-byte Ethernet minimum (make_fixture_frame.py).
const uint8_t kDeviceAnswerFrame[60] = {
    0xd6, 0xcc, 0xb2, 0x07, 0xeb, 0x6d, 0x02, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e, 0x08, 0x00, 0x45,
    0x00, 0x00, 0x2a, 0x12, 0x34, 0x00, 0x00, 0x40, 0x11, 0x51, 0xde, 0x0a, 0xd5, 0x01, 0x07,
    0x0a, 0xd5, 0x00, 0x01, 0x21, 0x34, 0x21, 0x39, 0x00, 0x16, 0x03, 0xdf, 0xbc, 0xde, 0x00,
    0x00, 0x21, 0x11, 0x00, 0x0a, 0x00, 0x04, 0x61, 0x62, 0x63, 0x64, 0x00, 0x00, 0x00, 0x00,
};

FrameEndpoint Endpoint(std::vector<uint8_t> mac, uint32_t ip, uint16_t port) {
  FrameEndpoint e;
  std::memcpy(e.mac, mac.data(), 6);
  e.ip = ip;
  e.port = port;
  return e;
}

// The receiver's check, written out independently: the ones' complement sum over the
// pseudo-header and the whole UDP datagram (checksum included) must be 0xFFFF.
uint32_t OnesSum(const std::vector<uint8_t>& bytes) {
  uint32_t sum = 0;
  for (size_t i = 0; i < bytes.size(); i += 2)
    sum += (bytes[i] << 8) | (i + 1 < bytes.size() ? bytes[i + 1] : 0);
  while (sum >> 16) sum = (sum >> 16) + (sum & 0xFFFF);
  return sum;
}

bool UdpChecksumVerifies(const uint8_t* frame, int frameLength) {
  const uint8_t* ip = frame + 14;
  const int udpLength = frameLength - 34;
  std::vector<uint8_t> bytes(ip + 12, ip + 20);
  bytes.insert(bytes.end(),
               {0, 17, static_cast<uint8_t>(udpLength >> 8), static_cast<uint8_t>(udpLength)});
  bytes.insert(bytes.end(), ip + 20, ip + 20 + udpLength);
  return OnesSum(bytes) == 0xFFFF;
}

TEST(Checksum, KnownVectors) {
  struct Case {
    std::vector<uint8_t> bytes;
    uint16_t expected;
  } cases[] = {
      {{0x00, 0x01, 0xf2, 0x03, 0xf4, 0xf5, 0xf6, 0xf7}, 0x220d},  // RFC 1071 worked example
      {{0x45, 0x00, 0x00, 0x73, 0x00, 0x00, 0x40, 0x00, 0x40, 0x11,
        0x00, 0x00, 0xc0, 0xa8, 0x00, 0x01, 0xc0, 0xa8, 0x00, 0xc7},
       0xb861},                      // IPv4 header, field zeroed
      {{0x01, 0x02, 0x03}, 0xfbfd},  // odd byte is a high byte
      {{}, 0xffff},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ComputeChecksum(c.bytes.data(), c.bytes.size()), c.expected) << c.bytes.size();
}

TEST(Checksum, UdpOfKnownFrameAndZeroSentAsFfff) {
  // The fixture's UDP checksum field holds the value computed independently (0x03df).
  EXPECT_EQ(ComputeUdpChecksum(kDeviceAnswerFrame + 14, 42), 0x03df);

  // A datagram whose sum complements to 0: 0xFFFF goes on the wire, never 0 ("no checksum").
  const uint8_t payload[] = {0xbc, 0xde, 0xea, 0xdd};
  uint8_t frame[64];
  const int length = BuildUdpFrame(Endpoint({2, 0, 0, 0, 0, 1}, 0x0AD50001, 8505),
                                   Endpoint({2, 0, 0, 0, 0, 2}, 0x0AD50002, 8500), 0, payload,
                                   sizeof(payload), frame, sizeof(frame));
  ASSERT_EQ(length, 46);
  EXPECT_EQ(ComputeUdpChecksum(frame + 14, 32), 0xFFFF);
  EXPECT_EQ(LoadBe16(frame + 40), 0xFFFF);
  EXPECT_TRUE(UdpChecksumVerifies(frame, length));
}

TEST(UdpFrame, BuildLayoutAndChecksums) {
  std::vector<uint8_t> datagram(400);
  for (size_t i = 0; i < datagram.size(); ++i) datagram[i] = static_cast<uint8_t>(i * 7);
  uint8_t frame[kMaxSendFrameBytes];
  const int length =
      BuildUdpFrame(Endpoint({0xd6, 0xcc, 0xb2, 0x07, 0xeb, 0x6d}, 0x0AD50001, kSendSourcePort),
                    Endpoint({0x01, 0x00, 0x5e, 0x08, 0x08, 0x01}, 0xEE080801, 8500), 0x71FD,
                    datagram.data(), 400, frame, sizeof(frame));
  ASSERT_EQ(length, 442);
  const uint8_t head[] = {0x01, 0x00, 0x5e, 0x08, 0x08, 0x01, 0xd6, 0xcc, 0xb2, 0x07, 0xeb, 0x6d,
                          0x08, 0x00, 0x45, 0x00, 0x01, 0xac, 0x71, 0xfd, 0x00, 0x00, 0x40, 0x11};
  EXPECT_EQ(0, std::memcmp(frame, head, sizeof(head)));
  EXPECT_EQ(LoadBe32(frame + 26), 0x0AD50001u);
  EXPECT_EQ(LoadBe32(frame + 30), 0xEE080801u);
  EXPECT_EQ(LoadBe16(frame + 34), 8505);
  EXPECT_EQ(LoadBe16(frame + 36), 8500);
  EXPECT_EQ(LoadBe16(frame + 38), 408);
  EXPECT_EQ(0, std::memcmp(frame + 42, datagram.data(), 400));
  EXPECT_EQ(ComputeChecksum(frame + 14, 20), 0) << "header checksum verifies to 0";
  EXPECT_TRUE(UdpChecksumVerifies(frame, length));
}

TEST(UdpFrame, ParseThenBuildGivesIdenticalBytes) {
  ParsedUdpFrame parsed;
  ASSERT_EQ(ParseUdpFrame(kDeviceAnswerFrame, sizeof(kDeviceAnswerFrame), &parsed),
            FrameParseResult::kOk);
  FrameEndpoint src;
  FrameEndpoint dst;
  std::memcpy(src.mac, parsed.srcMac, 6);
  std::memcpy(dst.mac, parsed.dstMac, 6);
  src.ip = parsed.srcIp;
  dst.ip = parsed.dstIp;
  src.port = parsed.srcPort;
  dst.port = parsed.dstPort;
  uint8_t rebuilt[128];
  const int length = BuildUdpFrame(src, dst, LoadBe16(kDeviceAnswerFrame + 18), parsed.payload,
                                   parsed.payloadLength, rebuilt, sizeof(rebuilt));
  ASSERT_EQ(length, 56);
  EXPECT_EQ(0, std::memcmp(rebuilt, kDeviceAnswerFrame, 56));
}

TEST(UdpFrame, SendBoundsRefusedNotCut) {
  std::vector<uint8_t> payload(kMaxSendDatagramBytes + 1, 0xAA);
  uint8_t frame[kMaxSendFrameBytes + 16];
  const FrameEndpoint a = Endpoint({2, 0, 0, 0, 0, 1}, 1, 1);
  EXPECT_EQ(BuildUdpFrame(a, a, 0, payload.data(), -1, frame, sizeof(frame)), -1);
  EXPECT_EQ(BuildUdpFrame(a, a, 0, payload.data(), kMaxSendDatagramBytes + 1, frame, sizeof(frame)),
            -1);
  EXPECT_EQ(BuildUdpFrame(a, a, 0, payload.data(), 100, frame, 141), -1) << "capacity too small";
  EXPECT_EQ(BuildUdpFrame(a, a, 0, payload.data(), kMaxSendDatagramBytes, frame, sizeof(frame)),
            kMaxSendFrameBytes);
  EXPECT_EQ(BuildUdpFrame(a, a, 0, nullptr, 0, frame, sizeof(frame)), 42) << "empty datagram";
}

// Independent of test order and repetition: a fresh counter for the start value, and the
// process-wide one only for the steps between its values.
TEST(UdpFrame, IdentificationCounterStartsAt29181AndPostIncrements) {
  CIpIdentificationCounter counter;
  EXPECT_EQ(counter.Next(), 29181);
  EXPECT_EQ(counter.Next(), 29182);
  for (int i = 29183; i < 65536; ++i) counter.Next();
  EXPECT_EQ(counter.Next(), 0);  // wraps like the 16-bit field
  const uint16_t first = NextIpIdentification();
  EXPECT_EQ(NextIpIdentification(), static_cast<uint16_t>(first + 1));
}

// What the address checks accept must be an address the send path can use, and nothing else.
TEST(UdpFrame, DestinationParsedByTheRuleOfTheAddressCheck) {
  const struct {
    const char* text;
    uint32_t ip;  // 0: refused
  } cases[] = {
      {"192.168.1.10", 0xC0A8010A},
      {"192.168.001.010", 0xC0A8010A},
      {"0000.0.0.1", 0x00000001},
      {"255.255.255.255", 0xFFFFFFFF},
      {"256.1.1.1", 0},
      {"1.2.3", 0},
      {"1.2.3.4.5", 0},
      {"1..3.4", 0},
      {"1.2.3.4.", 0},
      {"00001.2.3.4", 0},
      {" 1.2.3.4", 0},
      {"1.2.3.4x", 0},
      {"", 0},
      {"-1.2.3.4", 0},
  };
  for (const auto& c : cases) {
    uint32_t ip = 0;
    const bool parsed = ParseIpv4(c.text, &ip);
    EXPECT_EQ(parsed, CGlobalUtils::IsValidIPv4(c.text)) << c.text;
    EXPECT_EQ(parsed, c.ip != 0) << c.text;
    if (parsed) {
      EXPECT_EQ(ip, c.ip) << c.text;
    }
  }
}

TEST(UdpFrame, SendWithoutAFrameSentIsAFailure) {
  PACKET_RECORD_T record;
  std::memset(&record, 0, sizeof(record));
  const std::u16string ip = u"192.168.001.010";
  std::memcpy(record.szIP, ip.data(), ip.size() * sizeof(char16_t));
  record.nDataLen = 12;
  // No adapter is open in this process, so no frame leaves: that is not a success.
  EXPECT_EQ(CMacProtoControl::GetInstance()->Send(&record), -1);
}

TEST(UdpFrame, ReceivedFixtureFillsRecordWithoutEthernetPadding) {
  PACKET_RECORD_T record;
  ASSERT_EQ(ParseUdpFrameToRecord(kDeviceAnswerFrame, sizeof(kDeviceAnswerFrame), &record),
            FrameParseResult::kOk);
  EXPECT_EQ(std::u16string(record.szIP), u"10.213.1.7");
  const uint8_t mac[] = {0x02, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e};
  EXPECT_EQ(0, std::memcmp(record.mac, mac, 6));
  EXPECT_EQ(record.nPort, 8500);
  EXPECT_EQ(record.nReserved, 0);
  // The UDP length says 14; the four padding bytes of the minimum frame are not datagram.
  EXPECT_EQ(record.nDataLen, 14);
  EXPECT_EQ(0, std::memcmp(record.data, kDeviceAnswerFrame + 42, 14));
  EXPECT_EQ(record.data[14], 0);
}

TEST(UdpFrame, MalformedFramesDropped) {
  auto frame = [](auto edit) {
    std::vector<uint8_t> f(kDeviceAnswerFrame, kDeviceAnswerFrame + sizeof(kDeviceAnswerFrame));
    edit(f);
    return f;
  };
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    FrameParseResult expected;
  } cases[] = {
      {"frame_shorter_than_headers", frame([](auto& f) { f.resize(41); }),
       FrameParseResult::kTooShort},
      {"ethertype_ipv6", frame([](auto& f) {
         f[12] = 0x86;
         f[13] = 0xdd;
       }),
       FrameParseResult::kNotIpv4},
      {"ip_version_6", frame([](auto& f) { f[14] = 0x65; }), FrameParseResult::kNotIpv4},
      {"ip_header_with_options", frame([](auto& f) { f[14] = 0x46; }),
       FrameParseResult::kIpOptions},
      {"more_fragments_flag", frame([](auto& f) { f[20] = 0x20; }), FrameParseResult::kFragment},
      {"fragment_offset", frame([](auto& f) { f[21] = 0x01; }), FrameParseResult::kFragment},
      {"tcp_not_udp", frame([](auto& f) { f[23] = 6; }), FrameParseResult::kNotUdp},
      {"udp_length_beyond_frame", frame([](auto& f) {
         f[38] = 0x01;
         f[39] = 0x00;
       }),
       FrameParseResult::kBadLength},
      {"udp_length_below_header", frame([](auto& f) { f[39] = 7; }), FrameParseResult::kBadLength},
      {"ip_total_beyond_capture", frame([](auto& f) { f[16] = 0x02; }),
       FrameParseResult::kBadLength},
      {"udp_length_beyond_ip_total", frame([](auto& f) { f[17] = 0x20; }),
       FrameParseResult::kBadLength},
  };
  for (const Case& c : cases) {
    PACKET_RECORD_T record;
    std::memset(&record, 0x55, sizeof(record));
    EXPECT_EQ(ParseUdpFrameToRecord(c.bytes.data(), static_cast<int>(c.bytes.size()), &record),
              c.expected)
        << c.name;
    EXPECT_EQ(record.nDataLen, 0) << c.name;
    EXPECT_EQ(record.szIP[0], 0) << c.name;
  }
}

TEST(UdpFrame, DatagramLargerThanRecordDropped) {
  // A jumbo frame whose datagram is one byte more than the record's 4160-byte field.
  const int datagram = kPacketDatagramBytes + 1;
  std::vector<uint8_t> f(42 + datagram, 0);
  std::memcpy(f.data(), kDeviceAnswerFrame, 42);
  StoreBe16(f.data() + 16, static_cast<uint16_t>(28 + datagram));
  StoreBe16(f.data() + 38, static_cast<uint16_t>(8 + datagram));
  PACKET_RECORD_T record;
  EXPECT_EQ(ParseUdpFrameToRecord(f.data(), static_cast<int>(f.size()), &record),
            FrameParseResult::kTooLong);
  EXPECT_EQ(record.nDataLen, 0);

  StoreBe16(f.data() + 16, static_cast<uint16_t>(28 + kPacketDatagramBytes));
  StoreBe16(f.data() + 38, static_cast<uint16_t>(8 + kPacketDatagramBytes));
  EXPECT_EQ(ParseUdpFrameToRecord(f.data(), static_cast<int>(f.size()), &record),
            FrameParseResult::kOk);
  EXPECT_EQ(record.nDataLen, kPacketDatagramBytes);
}

}  // namespace
