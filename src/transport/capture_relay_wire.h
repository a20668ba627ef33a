#pragma once

#include <cstdint>

// Messages between the program and its capture helper (src/capture), one per datagram of a
// SOCK_SEQPACKET socket pair: an 8-byte header, then the body. Both ends are built from this
// header and run on the same machine, so numbers are in host byte order.

// The helper finds its end of the socket pair on this descriptor.
constexpr int kRelayHelperFd = 3;

enum class RelayType : uint8_t {
  kReady = 1,            // helper: capture open, capabilities dropped. Body: the interface's MAC
  kFailed = 2,           // helper: no capture. value: CaptureOpenError; body: the reason (text)
  kFrame = 3,            // helper: a received frame. value: its length on the wire; body: bytes
  kInject = 4,           // program: send this frame. value: sequence number; body: the frame
  kInjectResult = 5,     // helper: value: the sequence number; body: RelayInjectResult
  kCountersRequest = 6,  // program: value: sequence number; no body
  kCounters = 7,         // helper: value: the sequence number, 0 when unasked; body: counters
};

struct RelayHeader {
  uint8_t type = 0;
  uint8_t reserved[3] = {};
  uint32_t value = 0;
};
static_assert(sizeof(RelayHeader) == 8, "relay header is 8 bytes");

enum class RelayInjectResult : int32_t {
  kInjected = 0,
  kRefused = 1,     // not shaped like one of the program's frames
  kSendFailed = 2,  // the capture library did not take it (link down, frame too long)
};

// Counters as the helper sends them (CaptureCounters, fixed-size fields).
struct RelayCounters {
  uint64_t received;
  uint64_t dropped;
  uint64_t interfaceDropped;
  uint64_t truncated;
  uint64_t refused;
};
static_assert(sizeof(RelayCounters) == 40, "relay counters are five 64-bit numbers");

// Largest message either side sends: a header and a frame of at most 4 KB (the helper's snapshot
// is 2 KB; the program sends at most 2,090 bytes).
constexpr int kRelayMaxMessageBytes = static_cast<int>(sizeof(RelayHeader)) + 4096;
