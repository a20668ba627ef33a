#pragma once

#include <atomic>
#include <cstdint>

#include "protocol/packet_record.h"
#include "shell/ipv4_text.h"
#include "transport/frame_headers.h"

// Building and reading the Ethernet II + IPv4 + UDP frames that carry device datagrams. No
// dependency on the capture library, so both directions are testable without a network.

constexpr uint16_t kDevicePort = 8500;  // devices take requests on it and answer from it
constexpr uint16_t kSendSourcePort = 8505;
constexpr uint16_t kInitialIpIdentification = 29181;  // 0x71FD, first value after start

// Largest datagram the program sends in one frame: the send work buffer holds 28 header bytes
// and 2048 datagram bytes. A larger record is refused, never cut or written past the buffer.
// (Frames are not fragmented, so anything above 1472 bytes also exceeds a 1500-byte MTU and the
// capture library refuses it on a standard Ethernet link.)
constexpr int kMaxSendDatagramBytes = 2048;
constexpr int kMaxSendFrameBytes = kFrameHeaderBytes + kMaxSendDatagramBytes;

// One end of a UDP frame. ip is the IPv4 address as a host-order number (10.0.0.1 = 0x0A000001).
struct FrameEndpoint {
  uint8_t mac[6] = {};
  uint32_t ip = 0;
  uint16_t port = 0;
};

// An IPv4 identification counter: Next returns the current value, then increments it (wrapping
// after 65535). Starts at kInitialIpIdentification. Safe to call from several threads.
class CIpIdentificationCounter {
public:
  uint16_t Next() { return next_.fetch_add(1, std::memory_order_relaxed); }

private:
  std::atomic<uint16_t> next_{kInitialIpIdentification};
};

// The process-wide counter that every sent frame takes its identification from.
uint16_t NextIpIdentification();

// Writes the whole frame (headers + payload) into frame and returns its length, or -1 when the
// payload is negative, larger than kMaxSendDatagramBytes or does not fit frameCapacity.
// identification goes into the IPv4 header as given; TTL kIpDefaultTtl, type of service
// kIpTypeOfService, flags and fragment offset kIpFlagsFragment (frame_headers.h).
int BuildUdpFrame(const FrameEndpoint& source, const FrameEndpoint& destination,
                  uint16_t identification, const uint8_t* payload, int payloadLength,
                  uint8_t* frame, int frameCapacity);

// Fills the IPv4 total length, UDP length and both checksums of a built frame of frameLength
// bytes from the lengths of its parts. Does nothing when frameLength < 42.
void FillFrameLengthsAndChecksums(uint8_t* frame, int frameLength);

// What a received frame is, read with the fixed offsets of an option-free IPv4 header.
struct ParsedUdpFrame {
  uint8_t srcMac[6] = {};
  uint8_t dstMac[6] = {};
  uint32_t srcIp = 0;  // host order
  uint32_t dstIp = 0;  // host order
  uint16_t srcPort = 0;
  uint16_t dstPort = 0;
  const uint8_t* payload = nullptr;
  int payloadLength = 0;  // from the UDP length field
};

enum class FrameParseResult {
  kOk,
  kTooShort,   // fewer than 42 bytes captured
  kNotIpv4,    // EtherType other than 0x0800 or IP version other than 4
  kIpOptions,  // IHL other than 5
  kFragment,   // a fragment (more-fragments flag or an offset)
  kNotUdp,     // protocol other than 17
  kBadLength,  // UDP or IP length below its header or beyond the captured bytes
  kTooLong,    // datagram larger than the packet record holds (4160 bytes)
};

const char* FrameParseResultText(FrameParseResult result);

// Reads an Ethernet II / IPv4 (20-byte header) / UDP frame of capturedLength bytes. The
// datagram length comes from the UDP length field, so Ethernet padding of short frames is not
// taken for payload; a UDP length that claims more than was captured or than the IPv4 total
// length holds rejects the frame. payload points into frame.
FrameParseResult ParseUdpFrame(const uint8_t* frame, int capturedLength, ParsedUdpFrame* out);

// ParseUdpFrame, then fills a zeroed packet record with the sender's IP text ("%d.%d.%d.%d"),
// source MAC, source port and the datagram. Frames whose datagram exceeds the record's 4160
// bytes give kTooLong and leave the record zeroed.
FrameParseResult ParseUdpFrameToRecord(const uint8_t* frame, int capturedLength,
                                       PACKET_RECORD_T* record);
