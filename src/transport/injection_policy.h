#pragma once

#include <cstdint>
#include <vector>

// Which frames the capture helper injects for the program: exactly the frames the program
// builds (BuildUdpFrame, BuildArpProbe), sent from the adapter's own MAC and, for a datagram,
// from one of the adapter's own IPv4 addresses. Everything else is refused (and counted by the
// helper), so a process that talks to the helper cannot send arbitrary traffic: no other port,
// no forged source, no header the program never writes.
enum class InjectionVerdict {
  // Ethernet II + IPv4 + UDP from port 8505 to port 8500, IPv4 header as BuildUdpFrame writes
  // it (version 4, 20 bytes, type of service, TTL, no flags or fragment offset, right header
  // checksum), right lengths and UDP checksum, source among the adapter's addresses.
  kDeviceDatagram,
  kArpProbe,  // ARP request with sender address 0.0.0.0 (an address-conflict check)
  // A datagram like kDeviceDatagram whose source address is not among ownAddresses: refused,
  // but worth a fresh look at the adapter's addresses, which may have changed since.
  kForeignSource,
  kRefused,
};

// ownMac: the MAC of the adapter the helper captures on; ownAddresses: its IPv4 addresses, host
// order. The program never sends a datagram from an adapter without an IPv4 address, so an
// empty list (or a source of 0.0.0.0) refuses every datagram; the ARP probe needs no address.
InjectionVerdict CheckInjectableFrame(const uint8_t* frame, int length, const uint8_t ownMac[6],
                                      const std::vector<uint32_t>& ownAddresses);
