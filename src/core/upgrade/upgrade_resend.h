#pragma once

#include <chrono>
#include <functional>

// When an upgrade request goes out again. A device that heard it fetches the image from our web
// server at once; one that shows no sign of the download `after` the last request most likely
// never got it (the protocol has no retransmission of its own), so it is sent the request again,
// up to `maxTries` requests in all. The upgrade window and the rollout both follow it.
class CUpgradeResend {
public:
  static constexpr std::chrono::milliseconds kAfter{20000};
  static constexpr int kMaxTries = 4;

  explicit CUpgradeResend(std::chrono::milliseconds after = kAfter, int maxTries = kMaxTries)
      : m_after(after), m_maxTries(maxTries) {}

  // A request went out (the first or a resend).
  void Sent(std::chrono::milliseconds now) {
    ++m_tries;
    m_lastSent = now;
  }
  // Whether to send again now: a request went out, tries are left, `after` has passed since the
  // last one and the download has not been seen (asked only when the rest holds).
  bool Due(std::chrono::milliseconds now, const std::function<bool()>& downloadSeen) const {
    return m_tries > 0 && m_tries < m_maxTries && now - m_lastSent >= m_after &&
           !(downloadSeen && downloadSeen());
  }
  int Tries() const { return m_tries; }
  int MaxTries() const { return m_maxTries; }

private:
  std::chrono::milliseconds m_after;
  int m_maxTries;
  int m_tries = 0;
  std::chrono::milliseconds m_lastSent{0};
};
