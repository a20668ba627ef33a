#include "core/device/request_retry.h"

#include "core/common/op_clock.h"

bool SendUntilAnswered(IOpClock& clock, const RetrySchedule& schedule,
                       std::chrono::milliseconds step, const std::function<void(int attempt)>& send,
                       const std::function<bool()>& answered, int* tries) {
  int sent = 1;
  send(sent);
  const std::chrono::milliseconds end = clock.Now() + schedule.limit;
  std::chrono::milliseconds nextSend = clock.Now() + schedule.interval;
  const bool done = PauseUntil(clock, schedule.limit, step, [&] {
    if (answered()) return true;
    const std::chrono::milliseconds now = clock.Now();
    // A send at the very end could not be answered any more.
    if (now >= nextSend && now < end && (schedule.maxTries <= 0 || sent < schedule.maxTries)) {
      send(++sent);
      nextSend += schedule.interval;
    }
    return false;
  });
  if (tries != nullptr) *tries = sent;
  return done;
}
