#pragma once

#include <cstdint>

// One datagram with its peer's address, the unit of both directions between the transport, the
// message facade and the control core. The layout is fixed: the core's queue copies received
// records by their size, and every producer zeroes the whole record before filling it.
constexpr int kPacketIpChars = 16;
constexpr int kPacketDatagramBytes = 4160;

struct PACKET_RECORD_T {
  char16_t szIP[kPacketIpChars];       // received: source IPv4 text; to send: destination
  uint8_t mac[6];                      // received: Ethernet source; to send: destination
  int32_t nPort;                       // received: UDP source port; to send: destination
  int32_t nReserved;                   // always 0
  int32_t nDataLen;                    // bytes used in data[]
  uint8_t data[kPacketDatagramBytes];  // header (10 bytes) and payload
};
static_assert(sizeof(PACKET_RECORD_T) == 4212,
              "the packet record is 4212 bytes on the wire of the queue");
