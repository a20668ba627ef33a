#pragma once

#include <cstdint>

// Wire headers of the frames exchanged with devices: Ethernet II, IPv4 without options, UDP.
// Multi-byte fields are kept as raw big-endian bytes; the accessors below do the byte-order
// conversion, so the structs can sit at any offset of a frame buffer.

constexpr int kEthernetHeaderBytes = 14;
constexpr int kIpv4HeaderBytes = 20;
constexpr int kUdpHeaderBytes = 8;
constexpr int kFrameHeaderBytes = kEthernetHeaderBytes + kIpv4HeaderBytes + kUdpHeaderBytes;  // 42

constexpr uint16_t kEtherTypeIpv4 = 0x0800;
constexpr uint8_t kIpVersionIhl = 0x45;  // version 4, header of five 32-bit words
constexpr uint8_t kIpProtocolUdp = 17;
constexpr uint8_t kIpDefaultTtl = 64;
// The rest of the IPv4 header as the program writes it, and as the capture helper requires it of
// a frame it injects: no type of service, and no flags at all (neither "don't fragment" nor a
// fragment), since a datagram always fits one frame.
constexpr uint8_t kIpTypeOfService = 0;
constexpr uint16_t kIpFlagsFragment = 0;

#pragma pack(push, 1)
struct ETHERNET_HEADER_T {
  uint8_t dst[6];
  uint8_t src[6];
  uint8_t etherType[2];
};

struct IPV4_HEADER_T {
  uint8_t versionIhl;
  uint8_t tos;
  uint8_t totalLength[2];
  uint8_t identification[2];
  uint8_t flagsFragment[2];
  uint8_t ttl;
  uint8_t protocol;
  uint8_t checksum[2];
  uint8_t srcAddr[4];
  uint8_t dstAddr[4];
};

struct UDP_HEADER_T {
  uint8_t srcPort[2];
  uint8_t dstPort[2];
  uint8_t length[2];
  uint8_t checksum[2];
};
#pragma pack(pop)

static_assert(sizeof(ETHERNET_HEADER_T) == kEthernetHeaderBytes, "Ethernet II header is 14 bytes");
static_assert(sizeof(IPV4_HEADER_T) == kIpv4HeaderBytes, "IPv4 header without options is 20 bytes");
static_assert(sizeof(UDP_HEADER_T) == kUdpHeaderBytes, "UDP header is 8 bytes");

inline uint16_t LoadBe16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

inline void StoreBe16(uint8_t* p, uint16_t value) {
  p[0] = static_cast<uint8_t>(value >> 8);
  p[1] = static_cast<uint8_t>(value);
}

inline uint32_t LoadBe32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

inline void StoreBe32(uint8_t* p, uint32_t value) {
  p[0] = static_cast<uint8_t>(value >> 24);
  p[1] = static_cast<uint8_t>(value >> 16);
  p[2] = static_cast<uint8_t>(value >> 8);
  p[3] = static_cast<uint8_t>(value);
}
