#include "core/common/discovery_schedule.h"

#include <iterator>

namespace {
constexpr size_t kRepeatCount = std::size(CDiscoverySchedule::kRepeats);
}

std::chrono::milliseconds CDiscoverySchedule::At(size_t index) const {
  if (index < kRepeatCount) return kRepeats[index];
  // The regular sends: every period after the last repeat.
  return kRepeats[kRepeatCount - 1] + m_period * static_cast<long long>(index - kRepeatCount + 1);
}

std::chrono::milliseconds CDiscoverySchedule::Next() const { return At(m_sends); }

CDiscoverySchedule::Send CDiscoverySchedule::Due(std::chrono::milliseconds elapsed) {
  if (elapsed < At(m_sends)) return Send::kNothing;
  while (At(m_sends + 1) <= elapsed) ++m_sends;
  const size_t index = m_sends++;
  return index == 0 || index >= kRepeatCount ? Send::kNewRound : Send::kRepeat;
}
