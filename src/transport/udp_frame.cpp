#include "transport/udp_frame.h"

#include <cstdio>
#include <cstring>

#include "transport/checksum.h"

uint16_t NextIpIdentification() {
  static CIpIdentificationCounter counter;
  return counter.Next();
}

int BuildUdpFrame(const FrameEndpoint& source, const FrameEndpoint& destination,
                  uint16_t identification, const uint8_t* payload, int payloadLength,
                  uint8_t* frame, int frameCapacity) {
  if (frame == nullptr || payloadLength < 0 || payloadLength > kMaxSendDatagramBytes) return -1;
  if (payloadLength > 0 && payload == nullptr) return -1;
  const int frameLength = kFrameHeaderBytes + payloadLength;
  if (frameLength > frameCapacity) return -1;

  std::memset(frame, 0, kFrameHeaderBytes);
  auto* eth = reinterpret_cast<ETHERNET_HEADER_T*>(frame);
  std::memcpy(eth->dst, destination.mac, 6);
  std::memcpy(eth->src, source.mac, 6);
  StoreBe16(eth->etherType, kEtherTypeIpv4);

  auto* ip = reinterpret_cast<IPV4_HEADER_T*>(frame + kEthernetHeaderBytes);
  ip->versionIhl = kIpVersionIhl;
  ip->tos = kIpTypeOfService;
  StoreBe16(ip->identification, identification);
  StoreBe16(ip->flagsFragment, kIpFlagsFragment);
  ip->ttl = kIpDefaultTtl;
  ip->protocol = kIpProtocolUdp;
  StoreBe32(ip->srcAddr, source.ip);
  StoreBe32(ip->dstAddr, destination.ip);

  auto* udp = reinterpret_cast<UDP_HEADER_T*>(frame + kEthernetHeaderBytes + kIpv4HeaderBytes);
  StoreBe16(udp->srcPort, source.port);
  StoreBe16(udp->dstPort, destination.port);

  if (payloadLength > 0) std::memcpy(frame + kFrameHeaderBytes, payload, payloadLength);
  FillFrameLengthsAndChecksums(frame, frameLength);
  return frameLength;
}

void FillFrameLengthsAndChecksums(uint8_t* frame, int frameLength) {
  if (frame == nullptr || frameLength < kFrameHeaderBytes) return;
  uint8_t* ipPacket = frame + kEthernetHeaderBytes;
  auto* ip = reinterpret_cast<IPV4_HEADER_T*>(ipPacket);
  auto* udp = reinterpret_cast<UDP_HEADER_T*>(ipPacket + kIpv4HeaderBytes);
  const int totalLength = frameLength - kEthernetHeaderBytes;

  StoreBe16(ip->totalLength, static_cast<uint16_t>(totalLength));
  StoreBe16(udp->length, static_cast<uint16_t>(totalLength - kIpv4HeaderBytes));
  StoreBe16(ip->checksum, 0);
  StoreBe16(ip->checksum, ComputeChecksum(ipPacket, kIpv4HeaderBytes));
  StoreBe16(udp->checksum, ComputeUdpChecksum(ipPacket, static_cast<size_t>(totalLength)));
}

const char* FrameParseResultText(FrameParseResult result) {
  switch (result) {
    case FrameParseResult::kOk:
      return "ok";
    case FrameParseResult::kTooShort:
      return "too short length";
    case FrameParseResult::kNotIpv4:
      return "not IPv4";
    case FrameParseResult::kIpOptions:
      return "IPv4 header with options";
    case FrameParseResult::kFragment:
      return "IPv4 fragment";
    case FrameParseResult::kNotUdp:
      return "not UDP";
    case FrameParseResult::kBadLength:
      return "length fields do not match the frame";
    case FrameParseResult::kTooLong:
      return "datagram larger than the packet record";
  }
  return "unknown";
}

FrameParseResult ParseUdpFrame(const uint8_t* frame, int capturedLength, ParsedUdpFrame* out) {
  if (frame == nullptr || out == nullptr || capturedLength < kFrameHeaderBytes)
    return FrameParseResult::kTooShort;
  const auto* eth = reinterpret_cast<const ETHERNET_HEADER_T*>(frame);
  const auto* ip = reinterpret_cast<const IPV4_HEADER_T*>(frame + kEthernetHeaderBytes);
  const auto* udp =
      reinterpret_cast<const UDP_HEADER_T*>(frame + kEthernetHeaderBytes + kIpv4HeaderBytes);

  if (LoadBe16(eth->etherType) != kEtherTypeIpv4 || (ip->versionIhl >> 4) != 4)
    return FrameParseResult::kNotIpv4;
  if ((ip->versionIhl & 0x0F) != 5) return FrameParseResult::kIpOptions;
  if ((LoadBe16(ip->flagsFragment) & 0x3FFF) != 0) return FrameParseResult::kFragment;
  if (ip->protocol != kIpProtocolUdp) return FrameParseResult::kNotUdp;

  const int totalLength = LoadBe16(ip->totalLength);
  const int udpLength = LoadBe16(udp->length);
  const int capturedIp = capturedLength - kEthernetHeaderBytes;
  if (udpLength < kUdpHeaderBytes || totalLength < kIpv4HeaderBytes + udpLength ||
      totalLength > capturedIp)
    return FrameParseResult::kBadLength;
  const int datagramLength = udpLength - kUdpHeaderBytes;
  if (datagramLength > kPacketDatagramBytes) return FrameParseResult::kTooLong;

  std::memcpy(out->dstMac, eth->dst, 6);
  std::memcpy(out->srcMac, eth->src, 6);
  out->srcIp = LoadBe32(ip->srcAddr);
  out->dstIp = LoadBe32(ip->dstAddr);
  out->srcPort = LoadBe16(udp->srcPort);
  out->dstPort = LoadBe16(udp->dstPort);
  out->payload = frame + kFrameHeaderBytes;
  out->payloadLength = datagramLength;
  return FrameParseResult::kOk;
}

FrameParseResult ParseUdpFrameToRecord(const uint8_t* frame, int capturedLength,
                                       PACKET_RECORD_T* record) {
  if (record == nullptr) return FrameParseResult::kTooShort;
  std::memset(record, 0, sizeof(*record));
  ParsedUdpFrame parsed;
  const FrameParseResult result = ParseUdpFrame(frame, capturedLength, &parsed);
  if (result != FrameParseResult::kOk) return result;

  char ipText[kPacketIpChars] = {};
  FormatIpv4(parsed.srcIp, ipText, sizeof(ipText));
  for (int i = 0; i < kPacketIpChars - 1 && ipText[i] != '\0'; ++i)
    record->szIP[i] = static_cast<char16_t>(ipText[i]);
  std::memcpy(record->mac, parsed.srcMac, 6);
  record->nPort = parsed.srcPort;
  record->nDataLen = parsed.payloadLength;
  std::memcpy(record->data, parsed.payload, static_cast<size_t>(parsed.payloadLength));
  return FrameParseResult::kOk;
}
