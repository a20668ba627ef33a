#include "core/common/op_clock.h"

#include <algorithm>
#include <thread>

namespace {

class CSteadyOpClock : public IOpClock {
public:
  std::chrono::milliseconds Now() override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
  }
  void Pause(std::chrono::milliseconds duration) override { std::this_thread::sleep_for(duration); }
};

}  // namespace

IOpClock& SteadyOpClock() {
  static CSteadyOpClock clock;
  return clock;
}

void CManualOpClock::Pause(std::chrono::milliseconds duration) {
  m_now += duration;
  if (m_hook) m_hook(m_now);
}

bool PauseUntil(IOpClock& clock, std::chrono::milliseconds limit, std::chrono::milliseconds step,
                const std::function<bool()>& done) {
  const std::chrono::milliseconds end = clock.Now() + limit;
  while (true) {
    if (done()) return true;
    const std::chrono::milliseconds now = clock.Now();
    if (now >= end) return false;
    clock.Pause(std::min(step, end - now));
  }
}
