#pragma once

#include <chrono>
#include <functional>

class IOpClock;

// Resending a request on a lossy segment. The device protocol has no retransmission of its own:
// a lost request or a lost answer looks the same to us, so an idempotent request is sent again
// on a schedule, within a bound, until its answer arrives.
struct RetrySchedule {
  std::chrono::milliseconds limit;     // the whole wait, from the first send
  std::chrono::milliseconds interval;  // between sends while no answer has come
  int maxTries;                        // sends in all, the first included; 0: no bound
};

// Sends at once (send(1)) and again (send(2), ...) every `interval` while `answered` is false,
// looking every `step`, until it is true or `limit` has passed. Returns whether it became true;
// *tries (when given) is the number of sends. Only requests that leave a device in the same
// state when it gets them twice may be handed in.
bool SendUntilAnswered(IOpClock& clock, const RetrySchedule& schedule,
                       std::chrono::milliseconds step, const std::function<void(int attempt)>& send,
                       const std::function<bool()>& answered, int* tries = nullptr);
