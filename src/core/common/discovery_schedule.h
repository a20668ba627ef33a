#pragma once

#include <chrono>
#include <cstddef>

// When a discovery goes out. One multicast and its answers are lost as easily as any frame, so a
// discovery repeats its request in its first seconds (at 0, 0.5, 1.5 and 3 s) before it settles
// into the regular period (every 5 s after that: 8, 13, 18 s...). The repeats belong to the first
// round: a device answering any of them counts as answering it, so the repeats do not make a device
// "missing" sooner. Every command that discovers, and the window's first seconds, follow it.
class CDiscoverySchedule {
public:
  static constexpr std::chrono::milliseconds kRepeats[] = {
      std::chrono::milliseconds(0), std::chrono::milliseconds(500), std::chrono::milliseconds(1500),
      std::chrono::milliseconds(3000)};
  static constexpr std::chrono::milliseconds kPeriod{5000};

  explicit CDiscoverySchedule(std::chrono::milliseconds period = kPeriod) : m_period(period) {}

  // What to send at `elapsed` (time since the discovery began).
  enum class Send { kNothing, kNewRound, kRepeat };
  // Whether a send is due; each scheduled send is handed out once. Sends whose time passed
  // unasked are skipped but for the latest, so a late caller sends one, not a burst.
  Send Due(std::chrono::milliseconds elapsed);
  // When the next send is due (since the discovery began).
  std::chrono::milliseconds Next() const;
  // Sends handed out so far.
  size_t Sends() const { return m_sends; }

private:
  std::chrono::milliseconds At(size_t index) const;
  std::chrono::milliseconds m_period;
  size_t m_sends = 0;  // index of the next scheduled send
};
