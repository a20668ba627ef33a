#include "core/device/request_retry.h"

#include "core/common/op_clock.h"

bool SendUntilAnswered(IOpClock& clock, const RetrySchedule& schedule,
                       std::chrono::milliseconds step, const std::function<void(int attempt)>& send,
                       const std::function<bool()>& answered, int* tries,
                       const std::function<bool()>& heard) {
  CResendPacer pacer(schedule.pace);
  const std::chrono::milliseconds end = clock.Now() + schedule.limit;
  pacer.Sent(clock.Now());
  send(pacer.Sends());
  const bool done = PauseUntil(clock, schedule.limit, step, [&] {
    if (answered()) return true;
    const std::chrono::milliseconds now = clock.Now();
    if (heard && heard()) pacer.Heard(now);
    if (now + schedule.answerTime < end && pacer.Due(now)) {
      pacer.Sent(now);
      send(pacer.Sends());
    }
    return false;
  });
  if (tries != nullptr) *tries = pacer.Sends();
  return done;
}
