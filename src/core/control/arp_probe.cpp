#include "core/control/arp_probe.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/common/op_clock.h"
#include "transport/arp_frame.h"

namespace {

constexpr std::chrono::milliseconds kPaceStep{10};

std::string MacText(const uint8_t mac[6]) {
  char text[13] = {};
  std::snprintf(text, sizeof(text), "%02X%02X%02X%02X%02X%02X", mac[0], mac[1], mac[2], mac[3],
                mac[4], mac[5]);
  return text;
}

}  // namespace

CArpProbe::CArpProbe(const uint8_t adapterMac[6], SendFrame send, IOpClock& clock,
                     ArpProbeOptions options)
    : m_send(std::move(send)), m_clock(clock), m_options(options) {
  std::memcpy(m_mac, adapterMac, 6);
  m_options.framesPerSecond = std::max(1, m_options.framesPerSecond);
  m_options.rounds = std::max(1, m_options.rounds);
}

void CArpProbe::OnFrame(const uint8_t* frame, int length) {
  ArpReply claim;
  if (!ParseArpClaim(frame, length, &claim)) return;
  if (std::memcmp(claim.senderMac, m_mac, 6) == 0) return;  // our own adapter's kernel
  std::lock_guard<std::mutex> lock(m_lock);
  // Bounded: a flood of forged claims cannot grow the map past the IPv4 space of a /16 or so.
  if (m_claims.size() >= 65536 && m_claims.count(claim.senderIp) == 0) return;
  m_claims[claim.senderIp] = MacText(claim.senderMac);
}

bool CArpProbe::Probe(const std::vector<uint32_t>& addresses) {
  const auto start = m_clock.Now();
  const auto deadline = start + m_options.limit;
  // Frames allowed per pacing step (at least one; the remainder is carried over).
  const double perStep = m_options.framesPerSecond * (kPaceStep.count() / 1000.0);
  double allowance = 0;
  uint8_t frame[kArpPaddedFrameBytes];
  for (int round = 0; round < m_options.rounds; ++round) {
    for (uint32_t address : addresses) {
      while (allowance < 1) {
        if (m_clock.Now() >= deadline) return false;
        m_clock.Pause(kPaceStep);
        allowance += perStep;
      }
      allowance -= 1;
      const int length = BuildArpProbe(m_mac, address, frame, sizeof(frame));
      if (length < 0 || !m_send(frame, length)) return false;
      ++m_sent;
    }
  }
  const auto waitEnd = std::min(deadline, m_clock.Now() + m_options.answerWait);
  while (m_clock.Now() < waitEnd) m_clock.Pause(std::min(kPaceStep * 10, waitEnd - m_clock.Now()));
  return true;
}

std::unordered_map<uint32_t, std::string> CArpProbe::Claims() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_claims;
}

std::string CArpProbe::ClaimOf(uint32_t address) const {
  std::lock_guard<std::mutex> lock(m_lock);
  const auto it = m_claims.find(address);
  return it == m_claims.end() ? std::string() : it->second;
}
