#include "transport/injection_policy.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "transport/checksum.h"
#include "transport/udp_frame.h"

namespace {

const uint8_t kOwnMac[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
const uint8_t kDeviceMac[6] = {0x02, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e};
constexpr uint32_t kOwnIp = 0x0AD50001;        // 10.213.0.1
constexpr uint32_t kSecondOwnIp = 0x0AD50707;  // 10.213.7.7, an alias of the same adapter
constexpr uint32_t kDeviceIp = 0x0AD50107;     // 10.213.1.7
constexpr uint32_t kForgedIp = 0x0A4D0032;     // 10.77.0.50
const std::vector<uint32_t> kOwnAddresses = {kOwnIp, kSecondOwnIp};

// A frame as the program sends it (BuildUdpFrame), then changed by the case.
std::vector<uint8_t> Datagram(uint16_t sourcePort, uint16_t destinationPort,
                              uint32_t sourceIp = kOwnIp, uint32_t destinationIp = kDeviceIp,
                              int payloadLength = 64, uint16_t identification = 1) {
  FrameEndpoint from, to;
  std::memcpy(from.mac, kOwnMac, 6);
  from.ip = sourceIp;
  from.port = sourcePort;
  std::memcpy(to.mac, kDeviceMac, 6);
  to.ip = destinationIp;
  to.port = destinationPort;
  const std::vector<uint8_t> payload(payloadLength, 0xAB);
  std::vector<uint8_t> frame(kFrameHeaderBytes + payload.size());
  const int length =
      BuildUdpFrame(from, to, identification, payload.data(), static_cast<int>(payload.size()),
                    frame.data(), static_cast<int>(frame.size()));
  EXPECT_EQ(length, static_cast<int>(frame.size()));
  return frame;
}

std::vector<uint8_t> ProgramDatagram() { return Datagram(kSendSourcePort, kDevicePort); }

// After a case changed a header field, both checksums are made right again, so that the field
// alone is what differs from the program's frame.
void FixChecksums(std::vector<uint8_t>& frame) {
  uint8_t* ip = frame.data() + kEthernetHeaderBytes;
  const int headerBytes = (ip[0] & 0x0F) * 4;
  StoreBe16(ip + 10, 0);
  StoreBe16(ip + 10, ComputeChecksum(ip, headerBytes));
  if (headerBytes == kIpv4HeaderBytes) StoreBe16(ip + 26, ComputeUdpChecksum(ip, LoadBe16(ip + 2)));
}

// ProgramDatagram with one byte of the IPv4 header set, checksums made right again.
std::vector<uint8_t> WithIpByte(int offset, uint8_t value) {
  auto frame = ProgramDatagram();
  frame[kEthernetHeaderBytes + offset] = value;
  FixChecksums(frame);
  return frame;
}

std::vector<uint8_t> WithFlagsFragment(uint16_t value) {
  auto frame = ProgramDatagram();
  StoreBe16(frame.data() + kEthernetHeaderBytes + 6, value);
  FixChecksums(frame);
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
  std::vector<uint32_t> ownAddresses = kOwnAddresses;
};

TEST(InjectionPolicy, InjectsExactlyTheProgramsOwnFrames) {
  const std::vector<Case> cases = {
      // What the program sends.
      {"discovery from 8505 to the multicast group 238.8.8.1",
       [] { return Datagram(8505, 8500, kOwnIp, 0xEE080801); }, InjectionVerdict::kDeviceDatagram},
      {"request to a device", ProgramDatagram, InjectionVerdict::kDeviceDatagram},
      {"from the adapter's second address", [] { return Datagram(8505, 8500, kSecondOwnIp); },
       InjectionVerdict::kDeviceDatagram},
      {"empty datagram, last identification",
       [] { return Datagram(8505, 8500, kOwnIp, kDeviceIp, 0, 0xFFFF); },
       InjectionVerdict::kDeviceDatagram},
      {"largest datagram the program sends",
       [] { return Datagram(8505, 8500, kOwnIp, kDeviceIp, kMaxSendDatagramBytes); },
       InjectionVerdict::kDeviceDatagram},
      {"ARP probe (sender 0.0.0.0)", [] { return ArpRequest(0); }, InjectionVerdict::kArpProbe},
      {"ARP probe padded to the Ethernet minimum",
       [] {
         auto f = ArpRequest(0);
         f.resize(60, 0);
         return f;
       },
       InjectionVerdict::kArpProbe},

      // Forged traffic that carries the program's ports somewhere, or none of them.
      {"syslog line from a forged 10.77.0.50 to 514", [] { return Datagram(8505, 514, kForgedIp); },
       InjectionVerdict::kRefused},
      {"DNS query from a forged source", [] { return Datagram(8500, 53, kForgedIp); },
       InjectionVerdict::kRefused},
      {"from 161 to 8500", [] { return Datagram(161, 8500); }, InjectionVerdict::kRefused},
      {"from 8500 to 8500", [] { return Datagram(8500, 8500); }, InjectionVerdict::kRefused},
      {"from 8505 to 8505", [] { return Datagram(8505, 8505); }, InjectionVerdict::kRefused},
      {"from 8505 to a port other than 8500", [] { return Datagram(8505, 9000); },
       InjectionVerdict::kRefused},
      {"UDP between other ports (mDNS)", [] { return Datagram(5353, 5353); },
       InjectionVerdict::kRefused},

      // The source address: only the adapter's own.
      {"source 10.77.0.50, not the adapter's", [] { return Datagram(8505, 8500, kForgedIp); },
       InjectionVerdict::kForeignSource},
      {"source in the adapter's subnet, not its own",
       [] { return Datagram(8505, 8500, 0x0AD50063); }, InjectionVerdict::kForeignSource},
      {"source 0.0.0.0", [] { return Datagram(8505, 8500, 0); }, InjectionVerdict::kRefused},
      {"adapter without an IPv4 address", ProgramDatagram, InjectionVerdict::kForeignSource, {}},

      // Every IPv4 header field the program writes.
      {"broken IP header checksum",
       [] {
         auto f = ProgramDatagram();
         f[kEthernetHeaderBytes + 11] ^= 0x01;
         return f;
       },
       InjectionVerdict::kRefused},
      {"broken UDP checksum",
       [] {
         auto f = ProgramDatagram();
         f[kEthernetHeaderBytes + 27] ^= 0x01;
         return f;
       },
       InjectionVerdict::kRefused},
      {"IP version 6 in an IPv4 frame", [] { return WithIpByte(0, 0x65); },
       InjectionVerdict::kRefused},
      {"type of service 0x10", [] { return WithIpByte(1, 0x10); }, InjectionVerdict::kRefused},
      {"TTL 128", [] { return WithIpByte(8, 128); }, InjectionVerdict::kRefused},
      {"TTL 1", [] { return WithIpByte(8, 1); }, InjectionVerdict::kRefused},
      {"TCP", [] { return WithIpByte(9, 6); }, InjectionVerdict::kRefused},
      {"don't-fragment flag", [] { return WithFlagsFragment(0x4000); }, InjectionVerdict::kRefused},
      {"more-fragments flag", [] { return WithFlagsFragment(0x2000); }, InjectionVerdict::kRefused},
      {"reserved flag", [] { return WithFlagsFragment(0x8000); }, InjectionVerdict::kRefused},
      {"fragment offset", [] { return WithFlagsFragment(0x0001); }, InjectionVerdict::kRefused},
      {"header length 6 (four bytes of options)",
       [] {
         auto f = ProgramDatagram();
         const auto at = f.begin() + kEthernetHeaderBytes + kIpv4HeaderBytes;
         f.insert(at, {0x01, 0x01, 0x01, 0x01});  // no-operation options
         uint8_t* ip = f.data() + kEthernetHeaderBytes;
         ip[0] = 0x46;
         StoreBe16(ip + 2, static_cast<uint16_t>(LoadBe16(ip + 2) + 4));
         FixChecksums(f);
         return f;
       },
       InjectionVerdict::kRefused},

      // Lengths: exactly the headers and the datagram.
      {"bytes hidden behind the IPv4 length",
       [] {
         auto f = ProgramDatagram();
         f.resize(f.size() + 32, 0x41);
         return f;
       },
       InjectionVerdict::kRefused},
      {"UDP length shorter than the packet",
       [] {
         auto f = ProgramDatagram();
         uint8_t* ip = f.data() + kEthernetHeaderBytes;
         StoreBe16(ip + 24, static_cast<uint16_t>(LoadBe16(ip + 24) - 16));
         FixChecksums(f);
         return f;
       },
       InjectionVerdict::kRefused},
      {"a datagram larger than the program sends",
       [] {
         auto f = Datagram(8505, 8500, kOwnIp, kDeviceIp, kMaxSendDatagramBytes);
         f.push_back(0xAB);
         FillFrameLengthsAndChecksums(f.data(), static_cast<int>(f.size()));
         return f;
       },
       InjectionVerdict::kRefused},
      {"runt frame", [] { return std::vector<uint8_t>(20, 0); }, InjectionVerdict::kRefused},

      // Ethernet.
      {"another sender's MAC",
       [] {
         auto f = ProgramDatagram();
         f[11] ^= 0x01;
         return f;
       },
       InjectionVerdict::kRefused},
      {"IPv6 EtherType",
       [] {
         auto f = ProgramDatagram();
         StoreBe16(f.data() + 12, 0x86DD);
         return f;
       },
       InjectionVerdict::kRefused},

      // ARP other than the probe.
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
  };
  for (const Case& c : cases) {
    const std::vector<uint8_t> frame = c.make();
    EXPECT_EQ(
        CheckInjectableFrame(frame.data(), static_cast<int>(frame.size()), kOwnMac, c.ownAddresses),
        c.expected)
        << c.name;
  }
}

}  // namespace
