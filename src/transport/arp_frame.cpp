#include "transport/arp_frame.h"

#include <cstring>

#include "transport/frame_headers.h"

namespace {

constexpr uint16_t kHardwareEthernet = 1;
constexpr uint8_t kEthernetAddressBytes = 6;
constexpr uint8_t kIpv4AddressBytes = 4;
constexpr uint16_t kOpRequest = 1;
constexpr uint16_t kOpReply = 2;

#pragma pack(push, 1)
struct ARP_BODY_T {
  uint8_t hardwareType[2];
  uint8_t protocolType[2];
  uint8_t hardwareLength;
  uint8_t protocolLength;
  uint8_t operation[2];
  uint8_t senderMac[6];
  uint8_t senderIp[4];
  uint8_t targetMac[6];
  uint8_t targetIp[4];
};
#pragma pack(pop)
static_assert(sizeof(ARP_BODY_T) == 28, "ARP body for Ethernet and IPv4 is 28 bytes");
static_assert(kEthernetHeaderBytes + sizeof(ARP_BODY_T) == kArpFrameBytes);

}  // namespace

int BuildArpProbe(const uint8_t senderMac[6], uint32_t target, uint8_t* frame, int capacity) {
  if (frame == nullptr || capacity < kArpPaddedFrameBytes) return -1;
  std::memset(frame, 0, kArpPaddedFrameBytes);
  auto* eth = reinterpret_cast<ETHERNET_HEADER_T*>(frame);
  std::memset(eth->dst, 0xFF, 6);
  std::memcpy(eth->src, senderMac, 6);
  StoreBe16(eth->etherType, kEtherTypeArp);
  auto* arp = reinterpret_cast<ARP_BODY_T*>(frame + kEthernetHeaderBytes);
  StoreBe16(arp->hardwareType, kHardwareEthernet);
  StoreBe16(arp->protocolType, kEtherTypeIpv4);
  arp->hardwareLength = kEthernetAddressBytes;
  arp->protocolLength = kIpv4AddressBytes;
  StoreBe16(arp->operation, kOpRequest);
  std::memcpy(arp->senderMac, senderMac, 6);
  // Sender IP 0.0.0.0 and target MAC zero (left by the memset).
  StoreBe32(arp->targetIp, target);
  return kArpPaddedFrameBytes;
}

bool IsArpProbe(const uint8_t* frame, int length) {
  if (frame == nullptr || length < kArpFrameBytes || length > kArpPaddedFrameBytes) return false;
  const auto* eth = reinterpret_cast<const ETHERNET_HEADER_T*>(frame);
  const auto* arp = reinterpret_cast<const ARP_BODY_T*>(frame + kEthernetHeaderBytes);
  return LoadBe16(eth->etherType) == kEtherTypeArp &&
         LoadBe16(arp->hardwareType) == kHardwareEthernet &&
         LoadBe16(arp->protocolType) == kEtherTypeIpv4 &&
         arp->hardwareLength == kEthernetAddressBytes && arp->protocolLength == kIpv4AddressBytes &&
         LoadBe16(arp->operation) == kOpRequest && LoadBe32(arp->senderIp) == 0;
}

bool ParseArpClaim(const uint8_t* frame, int capturedLength, ArpReply* out) {
  if (frame == nullptr || out == nullptr || capturedLength < kArpFrameBytes) return false;
  const auto* eth = reinterpret_cast<const ETHERNET_HEADER_T*>(frame);
  if (LoadBe16(eth->etherType) != kEtherTypeArp) return false;
  const auto* arp = reinterpret_cast<const ARP_BODY_T*>(frame + kEthernetHeaderBytes);
  if (LoadBe16(arp->hardwareType) != kHardwareEthernet ||
      LoadBe16(arp->protocolType) != kEtherTypeIpv4 ||
      arp->hardwareLength != kEthernetAddressBytes || arp->protocolLength != kIpv4AddressBytes)
    return false;
  const uint16_t op = LoadBe16(arp->operation);
  const uint32_t sender = LoadBe32(arp->senderIp);
  if ((op != kOpReply && op != kOpRequest) || sender == 0) return false;
  std::memcpy(out->senderMac, arp->senderMac, 6);
  out->senderIp = sender;
  return true;
}
