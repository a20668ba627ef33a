#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

class IOpClock;

// Asks whether addresses are taken before devices are moved onto them: an ARP request from
// 0.0.0.0 for each address (twice, as replies can be lost), paced, then a short wait for the
// replies. A host that replies (or announces the address itself) owns it. Every claim seen while
// the object lives is kept, so a later look-up also sees a host that turned up during the run.
//
// Frames leave through `send` (the capture of the chosen adapter) and claims arrive through
// OnFrame (the capture's frame tap, on its receive thread).
struct ArpProbeOptions {
  int framesPerSecond = 400;                                  // pacing of the requests
  int rounds = 2;                                             // requests per address
  std::chrono::milliseconds answerWait{1000};                 // after the last request
  std::chrono::milliseconds limit{std::chrono::seconds(60)};  // the whole probe at most
};

class CArpProbe {
public:
  using SendFrame = std::function<bool(const uint8_t* frame, int length)>;

  CArpProbe(const uint8_t adapterMac[6], SendFrame send, IOpClock& clock,
            ArpProbeOptions options = {});

  // Receive thread: a captured frame; ARP claims are kept, anything else is ignored.
  void OnFrame(const uint8_t* frame, int length);

  // Probes the addresses (host order). False when the limit cut it short or a frame could not
  // be sent: then not every address was asked, and the caller must not trust the answers.
  bool Probe(const std::vector<uint32_t>& addresses);

  // Every claim seen so far: address -> MAC of the claimant (12 upper-case digits). The adapter's
  // own frames are not claims.
  std::unordered_map<uint32_t, std::string> Claims() const;
  // The claimant of one address, or "".
  std::string ClaimOf(uint32_t address) const;
  size_t FramesSent() const { return m_sent; }

private:
  uint8_t m_mac[6];
  SendFrame m_send;
  IOpClock& m_clock;
  ArpProbeOptions m_options;
  size_t m_sent = 0;
  mutable std::mutex m_lock;
  std::unordered_map<uint32_t, std::string> m_claims;
};
