#include "core/common/resend_pacer.h"

#include <algorithm>

void CResendPacer::Sent(std::chrono::milliseconds now) {
  if (m_sends == 0) {
    m_gap = m_pace.first;
    m_lastHeard = now;
  } else {
    m_gap = std::min(m_gap * 2, std::max(m_pace.cap, m_pace.first));
  }
  ++m_sends;
  m_lastSent = now;
}

void CResendPacer::Heard(std::chrono::milliseconds now) {
  m_lastHeard = std::max(m_lastHeard, now);
}

bool CResendPacer::Silent(std::chrono::milliseconds now) const {
  return m_sends > 0 && now - m_lastHeard >= m_pace.silence;
}

bool CResendPacer::Due(std::chrono::milliseconds now) const {
  return m_sends > 0 && now - m_lastSent >= m_gap && !Silent(now);
}
