#include "transport/injection_policy.h"

#include <cstring>

#include "transport/frame_headers.h"
#include "transport/udp_frame.h"

namespace {

constexpr uint16_t kEtherTypeArp = 0x0806;
constexpr int kArpFrameBytes = kEthernetHeaderBytes + 28;
constexpr int kMinimumEthernetFrameBytes = 60;  // without the frame check sequence

bool IsDevicePort(uint16_t port) { return port == kDevicePort || port == kSendSourcePort; }

bool IsDeviceDatagram(const uint8_t* frame, int length) {
  if (length > kMaxSendFrameBytes) return false;
  ParsedUdpFrame parsed;
  if (ParseUdpFrame(frame, length, &parsed) != FrameParseResult::kOk) return false;
  // Exactly the headers and the datagram: nothing hidden behind the lengths.
  const auto* ip = reinterpret_cast<const IPV4_HEADER_T*>(frame + kEthernetHeaderBytes);
  if (LoadBe16(ip->totalLength) != length - kEthernetHeaderBytes) return false;
  if (parsed.payloadLength != length - kFrameHeaderBytes) return false;
  return IsDevicePort(parsed.srcPort) || IsDevicePort(parsed.dstPort);
}

// Request for an IPv4 address over Ethernet, from our own MAC, claiming no address yet.
bool IsArpProbe(const uint8_t* frame, int length, const uint8_t ownMac[6]) {
  if (length < kArpFrameBytes || length > kMinimumEthernetFrameBytes) return false;
  if (LoadBe16(frame + 12) != kEtherTypeArp) return false;
  const uint8_t* arp = frame + kEthernetHeaderBytes;
  const bool ethernetIpv4 = LoadBe16(arp) == 1 && LoadBe16(arp + 2) == kEtherTypeIpv4 &&
                            arp[4] == 6 && arp[5] == 4;
  const bool request = LoadBe16(arp + 6) == 1;
  const bool fromUs = std::memcmp(arp + 8, ownMac, 6) == 0;
  const bool noSenderAddress = LoadBe32(arp + 14) == 0;
  return ethernetIpv4 && request && fromUs && noSenderAddress;
}

}  // namespace

InjectionVerdict CheckInjectableFrame(const uint8_t* frame, int length, const uint8_t ownMac[6]) {
  if (frame == nullptr || ownMac == nullptr || length < kFrameHeaderBytes)
    return InjectionVerdict::kRefused;
  if (std::memcmp(frame + 6, ownMac, 6) != 0) return InjectionVerdict::kRefused;
  if (IsDeviceDatagram(frame, length)) return InjectionVerdict::kDeviceDatagram;
  if (IsArpProbe(frame, length, ownMac)) return InjectionVerdict::kArpProbe;
  return InjectionVerdict::kRefused;
}
