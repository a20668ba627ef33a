#pragma once

#include <cstdint>

// Which frames the capture helper injects for the program: only frames shaped like the
// program's own, sent from the adapter's own MAC. Everything else is refused (and counted by
// the helper), so a process that talks to the helper cannot send arbitrary traffic.
enum class InjectionVerdict {
  kDeviceDatagram,  // Ethernet II + IPv4 (no options, no fragment) + UDP, a port 8500 or 8505
  kArpProbe,        // ARP request with sender address 0.0.0.0 (an address-conflict check)
  kRefused,
};

// ownMac: the MAC of the adapter the helper captures on.
InjectionVerdict CheckInjectableFrame(const uint8_t* frame, int length, const uint8_t ownMac[6]);
