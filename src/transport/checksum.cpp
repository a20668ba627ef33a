#include "transport/checksum.h"

#include "transport/frame_headers.h"

namespace {

uint32_t AddWords(uint32_t sum, const uint8_t* bytes, size_t length) {
  size_t i = 0;
  for (; i + 1 < length; i += 2) sum += static_cast<uint32_t>((bytes[i] << 8) | bytes[i + 1]);
  if (i < length) sum += static_cast<uint32_t>(bytes[i] << 8);
  return sum;
}

uint16_t Fold(uint32_t sum) {
  sum = (sum >> 16) + (sum & 0xFFFF);
  sum = (sum >> 16) + (sum & 0xFFFF);
  return static_cast<uint16_t>(~sum & 0xFFFF);
}

}  // namespace

uint16_t ComputeChecksum(const void* bytes, size_t length) {
  if (bytes == nullptr) return Fold(0);
  return Fold(AddWords(0, static_cast<const uint8_t*>(bytes), length));
}

uint16_t ComputeUdpChecksum(const uint8_t* ipPacket, size_t totalLength) {
  if (ipPacket == nullptr || totalLength < static_cast<size_t>(kIpv4HeaderBytes + kUdpHeaderBytes))
    return 0;
  const size_t udpLength = totalLength - kIpv4HeaderBytes;
  const auto* ip = reinterpret_cast<const IPV4_HEADER_T*>(ipPacket);
  const uint8_t* udp = ipPacket + kIpv4HeaderBytes;

  uint8_t pseudo[12];
  for (int i = 0; i < 4; ++i) {
    pseudo[i] = ip->srcAddr[i];
    pseudo[4 + i] = ip->dstAddr[i];
  }
  pseudo[8] = 0;
  pseudo[9] = kIpProtocolUdp;
  StoreBe16(pseudo + 10, static_cast<uint16_t>(udpLength));

  uint32_t sum = AddWords(0, pseudo, sizeof(pseudo));
  sum = AddWords(sum, udp, 6);  // ports and length; the checksum field counts as 0
  sum = AddWords(sum, udp + kUdpHeaderBytes, udpLength - kUdpHeaderBytes);
  const uint16_t checksum = Fold(sum);
  return checksum == 0 ? 0xFFFF : checksum;
}
