#include "transport/injection_policy.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "transport/udp_frame.h"

namespace {

const uint8_t kOwnMac[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01};

std::vector<uint8_t> Datagram(uint16_t sourcePort, uint16_t destinationPort) {
  FrameEndpoint from, to;
  std::memcpy(from.mac, kOwnMac, 6);
  from.ip = 0x0AD50001;
  from.port = sourcePort;
  std::memset(to.mac, 0xFF, 6);
  to.ip = 0xEE080801;
  to.port = destinationPort;
  const std::vector<uint8_t> payload(64, 0xAB);
  std::vector<uint8_t> frame(kFrameHeaderBytes + payload.size());
  BuildUdpFrame(from, to, 1, payload.data(), static_cast<int>(payload.size()), frame.data(),
                static_cast<int>(frame.size()));
  return frame;
}

std::vector<uint8_t> ArpRequest(uint32_t senderIp) {
  std::vector<uint8_t> frame(kFrameHeaderBytes, 0);
  std::memset(frame.data(), 0xFF, 6);
  std::memcpy(frame.data() + 6, kOwnMac, 6);
  StoreBe16(frame.data() + 12, 0x0806);
  uint8_t* arp = frame.data() + kEthernetHeaderBytes;
  StoreBe16(arp, 1);           // Ethernet
  StoreBe16(arp + 2, 0x0800);  // IPv4
  arp[4] = 6;
  arp[5] = 4;
  StoreBe16(arp + 6, 1);  // request
  std::memcpy(arp + 8, kOwnMac, 6);
  StoreBe32(arp + 14, senderIp);
  StoreBe32(arp + 24, 0x0AD50099);  // the address being checked
  return frame;
}

struct Case {
  const char* name;
  std::function<std::vector<uint8_t>()> make;
  InjectionVerdict expected;
};

TEST(InjectionPolicy, InjectsOnlyFramesShapedLikeTheProgramsOwn) {
  const std::vector<Case> cases = {
      {"discovery from 8505 to 8500", [] { return Datagram(8505, 8500); },
       InjectionVerdict::kDeviceDatagram},
      {"request to a device port other than 8500, from 8505", [] { return Datagram(8505, 9000); },
       InjectionVerdict::kDeviceDatagram},
      {"ARP probe (sender 0.0.0.0)", [] { return ArpRequest(0); }, InjectionVerdict::kArpProbe},
      {"ARP probe padded to the Ethernet minimum",
       [] {
         auto f = ArpRequest(0);
         f.resize(60, 0);
         return f;
       },
       InjectionVerdict::kArpProbe},
      {"UDP between other ports (DNS)", [] { return Datagram(5353, 53); },
       InjectionVerdict::kRefused},
      {"another sender's MAC",
       [] {
         auto f = Datagram(8505, 8500);
         f[11] ^= 0x01;
         return f;
       },
       InjectionVerdict::kRefused},
      {"TCP",
       [] {
         auto f = Datagram(8505, 8500);
         f[23] = 6;
         return f;
       },
       InjectionVerdict::kRefused},
      {"IPv4 options",
       [] {
         auto f = Datagram(8505, 8500);
         f[14] = 0x46;
         return f;
       },
       InjectionVerdict::kRefused},
      {"bytes hidden behind the IPv4 length",
       [] {
         auto f = Datagram(8505, 8500);
         f.resize(f.size() + 32, 0x41);
         return f;
       },
       InjectionVerdict::kRefused},
      {"fragment",
       [] {
         auto f = Datagram(8505, 8500);
         f[20] = 0x20;  // more fragments
         return f;
       },
       InjectionVerdict::kRefused},
      {"ARP claiming an address (gratuitous)", [] { return ArpRequest(0x0AD50099); },
       InjectionVerdict::kRefused},
      {"ARP reply",
       [] {
         auto f = ArpRequest(0);
         f[kEthernetHeaderBytes + 7] = 2;
         return f;
       },
       InjectionVerdict::kRefused},
      {"ARP with another sender MAC inside",
       [] {
         auto f = ArpRequest(0);
         f[kEthernetHeaderBytes + 13] ^= 0x01;
         return f;
       },
       InjectionVerdict::kRefused},
      {"IPv6", [] {
         auto f = Datagram(8505, 8500);
         StoreBe16(f.data() + 12, 0x86DD);
         return f;
       },
       InjectionVerdict::kRefused},
      {"runt frame", [] { return std::vector<uint8_t>(20, 0); }, InjectionVerdict::kRefused},
  };
  for (const Case& c : cases) {
    const std::vector<uint8_t> frame = c.make();
    EXPECT_EQ(CheckInjectableFrame(frame.data(), static_cast<int>(frame.size()), kOwnMac),
              c.expected)
        << c.name;
  }
}

}  // namespace
