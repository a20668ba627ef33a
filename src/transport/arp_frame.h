#pragma once

#include <cstdint>

// ARP over Ethernet for probing whether an IPv4 address is taken: a request whose sender
// address is 0.0.0.0 (so no host learns a binding from it, the way an address-conflict check
// asks), and reading a reply. No dependency on the capture library.

constexpr uint16_t kEtherTypeArp = 0x0806;
constexpr int kArpFrameBytes = 42;  // Ethernet header and the 28-byte ARP body
// Short frames are padded to the Ethernet minimum of 60 bytes (without the checksum).
constexpr int kArpPaddedFrameBytes = 60;

// Writes a broadcast ARP request "who has target? tell 0.0.0.0" from senderMac into frame
// (kArpPaddedFrameBytes, zero padded). target is host order. Returns the frame length.
int BuildArpProbe(const uint8_t senderMac[6], uint32_t target, uint8_t* frame, int capacity);

// True for a frame BuildArpProbe could have built: an Ethernet/IPv4 ARP request from 0.0.0.0.
bool IsArpProbe(const uint8_t* frame, int length);

struct ArpReply {
  uint8_t senderMac[6] = {};
  uint32_t senderIp = 0;  // host order
};

// True when the frame is an Ethernet/IPv4 ARP reply, or a request of a host that announces or
// probes for the address itself (sender IP set), i.e. anything by which a host claims an address.
bool ParseArpClaim(const uint8_t* frame, int capturedLength, ArpReply* out);
