#pragma once

#include <chrono>
#include <cstdint>
#include <string>

typedef struct pcap pcap_t;

// Opening a capture on one interface, shared by the program (when it may capture itself) and
// the capture helper, so that both size the capture alike and apply the same filter.

// What the capture lets through. Device traffic always; ARP only for a caller that sends
// address-conflict probes and must see the replies.
enum class CaptureTraffic : uint8_t {
  kDeviceProtocol = 0,        // "udp and (port 8500 or port 8505)"
  kDeviceProtocolAndArp = 1,  // "(udp and (port 8500 or port 8505)) or arp"
};
const char* CaptureFilterText(CaptureTraffic traffic);

// The device protocol's frames fit in 2 KB. A longer frame is cut there, counted as truncated
// and dropped by the frame parser.
constexpr int kCaptureSnapshotBytes = 2048;
// Immediate mode: every frame gets its own slot of the kernel ring (about 1.6 KB on a 1500-byte
// link, two to a page), so the ring holds about 20,000 frames whatever time they arrive at. A
// reader kept off the processor for a second loses nothing of a burst of 5,000 answers. (With
// the buffered ring mode the kernel hands over a 256 KB block after each read time-out however
// little it holds, so a 1 ms time-out emptied a 32 MB ring in 128 ms of trickling answers.)
constexpr int kCaptureBufferBytes = 32 << 20;
// How long a read waits for a frame before it returns to look at the stop flag.
constexpr int kCaptureReadTimeoutMs = 100;
// After a read that found frames, the reader pauses this long before it waits again, so that
// a burst is taken a run at a time (the ring holds far more than arrives meanwhile: 40 frames
// at 20,000 a second). Each wake costs system calls on the reader's and the worker's side; two
// milliseconds are nothing to a device's answer, which is waited for in hundreds.
constexpr std::chrono::microseconds kCaptureGatherTime{2000};

enum class CaptureOpenError : uint8_t {
  kNone = 0,
  kNoRights,  // no cap_net_raw (and not root)
  kNotUp,     // the interface is down
  kNoSuchDevice,
  kNotEthernet,  // a link type other than Ethernet, or the loopback: not an adapter for devices
  kFilter,       // the filter could not be set
  kOther,
  kLoopback,  // the loopback interface: this computer's own traffic, never a device's
};

struct CaptureOpenResult {
  pcap_t* handle = nullptr;  // open, filtered and close-on-exec; null on failure
  CaptureOpenError error = CaptureOpenError::kNone;
  std::string text;  // the reason in words a user can act on
};

// Capture (not promiscuous) of an Ethernet interface with the program's snapshot, buffer, read
// time-out and filter. The loopback interface and other link types are refused (kNotEthernet).
CaptureOpenResult OpenDeviceCapture(const std::string& device, CaptureTraffic traffic);

// What a capture has seen since it was opened. received, dropped and interfaceDropped are the
// capture library's; truncated counts frames longer than the snapshot; refused counts frames
// the capture helper would not inject.
struct CaptureCounters {
  uint64_t received = 0;
  uint64_t dropped = 0;
  uint64_t interfaceDropped = 0;
  uint64_t truncated = 0;
  uint64_t refused = 0;
};

// Fills received, dropped and interfaceDropped from the capture library; false when it cannot.
bool ReadLibraryCounters(pcap_t* handle, CaptureCounters* counters);
