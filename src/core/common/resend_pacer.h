#pragma once

#include <chrono>

// When a request goes out again. The devices never retransmit, and a lost request looks the
// same to us as a lost answer, so every request kind (authenticate, update, batch update,
// upgrade) is sent again until its answer comes, under one rule:
//   - backoff: the first resend `first` after the first send, each later gap twice the one
//     before, up to `cap`;
//   - while the device answers: no resend once it has been silent (nothing heard from it, of
//     any kind) for `silence`. The first send counts as heard: the device has just been found;
//   - the caller's own time limit ends the resending; the number of sends has no bound of its
//     own, so a device that keeps answering gets the request again until that limit.
// Times are the caller's clock (IOpClock::Now), so tests step it.
struct ResendPace {
  std::chrono::milliseconds first{500};
  std::chrono::milliseconds cap{4000};
  std::chrono::milliseconds silence{12000};
};

class CResendPacer {
public:
  explicit CResendPacer(ResendPace pace = {}) : m_pace(pace) {}

  // A send went out (the first or a resend).
  void Sent(std::chrono::milliseconds now);
  // The device was heard from (any answer, a report, a discovery answer).
  void Heard(std::chrono::milliseconds now);
  // Whether to send again now: something was sent, the backoff gap has passed since the last
  // send, and the device was heard within the silence window.
  bool Due(std::chrono::milliseconds now) const;
  // Nothing heard from the device within the silence window (only after a first send).
  bool Silent(std::chrono::milliseconds now) const;

  int Sends() const { return m_sends; }
  // The gap after the latest send; `first` before any.
  std::chrono::milliseconds Gap() const { return m_gap; }
  const ResendPace& Pace() const { return m_pace; }

private:
  ResendPace m_pace;
  int m_sends = 0;
  std::chrono::milliseconds m_lastSent{0};
  std::chrono::milliseconds m_lastHeard{0};
  std::chrono::milliseconds m_gap{0};
};
