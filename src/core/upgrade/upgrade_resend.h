#pragma once

#include <chrono>
#include <functional>

#include "core/common/resend_pacer.h"

// When an upgrade request goes out again, by the shared resend rule (CResendPacer). A device
// that hears the request acknowledges it at once and fetches the image from our web server; one
// that shows neither most likely never got it (the protocol has no retransmission of its own),
// so it gets the request again: 3 s after the first, then after gaps doubling up to 20 s, while
// the device still answers anything (discovery answers count), until the caller's own time
// limit. An acknowledge "OK" holds the resends back for kAfter: the device is about to fetch
// the image, and a download seen in the access log ends them. The upgrade window and the
// rollout both follow it.
class CUpgradeResend {
public:
  static constexpr std::chrono::milliseconds kAfter{20000};
  static constexpr ResendPace kPace{std::chrono::milliseconds(3000), kAfter,
                                    std::chrono::milliseconds(30000)};

  explicit CUpgradeResend(ResendPace pace = kPace) : m_pacer(pace) {}

  // A request went out (the first or a resend).
  void Sent(std::chrono::milliseconds now) { m_pacer.Sent(now); }
  // The device answered something (a discovery answer, an acknowledge).
  void Heard(std::chrono::milliseconds now) { m_pacer.Heard(now); }
  // The device acknowledged the request with "OK".
  void Acknowledged(std::chrono::milliseconds now) {
    m_acknowledgedAt = now;
    m_acknowledged = true;
    m_pacer.Heard(now);
  }
  // Whether to send again now: the pace says so, no "OK" came within kAfter, and the download
  // has not been seen (asked only when the rest holds).
  bool Due(std::chrono::milliseconds now, const std::function<bool()>& downloadSeen) const {
    if (!m_pacer.Due(now)) return false;
    if (m_acknowledged && now - m_acknowledgedAt < kAfter) return false;
    return !(downloadSeen && downloadSeen());
  }
  int Tries() const { return m_pacer.Sends(); }

private:
  CResendPacer m_pacer;
  bool m_acknowledged = false;
  std::chrono::milliseconds m_acknowledgedAt{0};
};
