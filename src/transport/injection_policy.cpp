#include "transport/injection_policy.h"

#include <algorithm>
#include <cstring>

#include "transport/checksum.h"
#include "transport/frame_headers.h"
#include "transport/udp_frame.h"

namespace {

constexpr uint16_t kEtherTypeArp = 0x0806;
constexpr int kArpFrameBytes = kEthernetHeaderBytes + 28;
constexpr int kMinimumEthernetFrameBytes = 60;  // without the frame check sequence

// Every header field the way BuildUdpFrame writes it; the identification is the only free one.
// The source address is left to the caller.
bool IsProgramDatagram(const uint8_t* frame, int length) {
  if (length < kFrameHeaderBytes || length > kMaxSendFrameBytes) return false;
  const auto* eth = reinterpret_cast<const ETHERNET_HEADER_T*>(frame);
  const uint8_t* ipPacket = frame + kEthernetHeaderBytes;
  const auto* ip = reinterpret_cast<const IPV4_HEADER_T*>(ipPacket);
  const auto* udp = reinterpret_cast<const UDP_HEADER_T*>(ipPacket + kIpv4HeaderBytes);
  if (LoadBe16(eth->etherType) != kEtherTypeIpv4) return false;
  if (ip->versionIhl != kIpVersionIhl || ip->tos != kIpTypeOfService ||
      LoadBe16(ip->flagsFragment) != kIpFlagsFragment || ip->ttl != kIpDefaultTtl ||
      ip->protocol != kIpProtocolUdp)
    return false;
  // Exactly the headers and the datagram: nothing hidden behind the lengths.
  const int totalLength = length - kEthernetHeaderBytes;
  if (LoadBe16(ip->totalLength) != totalLength) return false;
  if (LoadBe16(udp->length) != totalLength - kIpv4HeaderBytes) return false;
  // Over a header that holds its right checksum the sum comes to 0.
  if (ComputeChecksum(ipPacket, kIpv4HeaderBytes) != 0) return false;
  if (LoadBe16(udp->checksum) != ComputeUdpChecksum(ipPacket, static_cast<size_t>(totalLength)))
    return false;
  return LoadBe16(udp->srcPort) == kSendSourcePort && LoadBe16(udp->dstPort) == kDevicePort;
}

// Request for an IPv4 address over Ethernet, from our own MAC, claiming no address yet.
bool IsArpProbe(const uint8_t* frame, int length, const uint8_t ownMac[6]) {
  if (length < kArpFrameBytes || length > kMinimumEthernetFrameBytes) return false;
  if (LoadBe16(frame + 12) != kEtherTypeArp) return false;
  const uint8_t* arp = frame + kEthernetHeaderBytes;
  const bool ethernetIpv4 =
      LoadBe16(arp) == 1 && LoadBe16(arp + 2) == kEtherTypeIpv4 && arp[4] == 6 && arp[5] == 4;
  const bool request = LoadBe16(arp + 6) == 1;
  const bool fromUs = std::memcmp(arp + 8, ownMac, 6) == 0;
  const bool noSenderAddress = LoadBe32(arp + 14) == 0;
  return ethernetIpv4 && request && fromUs && noSenderAddress;
}

}  // namespace

InjectionVerdict CheckInjectableFrame(const uint8_t* frame, int length, const uint8_t ownMac[6],
                                      const std::vector<uint32_t>& ownAddresses) {
  if (frame == nullptr || ownMac == nullptr || length < kFrameHeaderBytes)
    return InjectionVerdict::kRefused;
  if (std::memcmp(frame + 6, ownMac, 6) != 0) return InjectionVerdict::kRefused;
  if (IsProgramDatagram(frame, length)) {
    const uint32_t source =
        LoadBe32(reinterpret_cast<const IPV4_HEADER_T*>(frame + kEthernetHeaderBytes)->srcAddr);
    if (source == 0) return InjectionVerdict::kRefused;
    const bool own =
        std::find(ownAddresses.begin(), ownAddresses.end(), source) != ownAddresses.end();
    return own ? InjectionVerdict::kDeviceDatagram : InjectionVerdict::kForeignSource;
  }
  if (IsArpProbe(frame, length, ownMac)) return InjectionVerdict::kArpProbe;
  return InjectionVerdict::kRefused;
}
