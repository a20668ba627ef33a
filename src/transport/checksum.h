#pragma once

#include <cstddef>
#include <cstdint>

// Internet checksum (RFC 1071) of the bytes, taken as big-endian 16-bit words; a final odd byte
// counts as the high byte of a word whose low byte is 0. The result is a host-order number to
// be stored big-endian (StoreBe16): over a header that already holds its checksum the result
// is 0.
uint16_t ComputeChecksum(const void* bytes, size_t length);

// UDP checksum of the datagram inside an IPv4 packet with a 20-byte header: pseudo-header
// (source, destination, zero, protocol 17, UDP length) followed by the UDP header with its
// checksum field taken as 0 and the payload. UDP length = totalLength - 20. A computed 0 is
// returned as 0xFFFF, because 0 on the wire means "no checksum" (RFC 768). Returns 0 when
// totalLength cannot hold the two headers.
uint16_t ComputeUdpChecksum(const uint8_t* ipPacket, size_t totalLength);
