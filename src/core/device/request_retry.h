#pragma once

#include <chrono>
#include <functional>

#include "core/common/resend_pacer.h"

class IOpClock;

// Resending a request on a lossy segment. The device protocol has no retransmission of its own:
// a lost request or a lost answer looks the same to us, so an idempotent request is sent again
// under the shared resend rule (CResendPacer: backoff while the device answers), within the
// wait's limit, until its answer arrives.
struct RetrySchedule {
  std::chrono::milliseconds limit;  // the whole wait, from the first send
  ResendPace pace;
  // No resend this close to the end of the wait: its answer could not come in time.
  std::chrono::milliseconds answerTime{500};
};

// Sends at once (send(1)) and again (send(2), ...) when the pace says so while `answered` is
// false, looking every `step`, until it is true or `limit` has passed. Returns whether it became
// true; *tries (when given) is the number of sends. `heard` (when given) tells whether the
// device was heard from since it was last asked; without it the device counts as heard at the
// first send only, which keeps a wait shorter than the silence window resending to its end.
// Only requests that leave a device in the same state when it gets them twice may be handed in.
bool SendUntilAnswered(IOpClock& clock, const RetrySchedule& schedule,
                       std::chrono::milliseconds step, const std::function<void(int attempt)>& send,
                       const std::function<bool()>& answered, int* tries = nullptr,
                       const std::function<bool()>& heard = nullptr);
