#pragma once

// The clock a window hands to a device operation that waits (an authenticate answer, an
// acknowledge, the pause after a reboot). Pausing runs a local event loop that lets no user input
// through, so the window keeps painting and reports handed over with PostToUiThread reach their
// controls, while nothing the user does reaches a handler. Timer notifications are held back
// for the length of a wait (a tick that falls into it is skipped), so no handler of any window
// runs re-entrantly inside the one that waits.

#include "core/common/op_clock.h"

class CUiWaitClock : public IOpClock {
public:
  std::chrono::milliseconds Now() override;
  void Pause(std::chrono::milliseconds duration) override;

  // True while some window waits in Pause (on the UI thread).
  static bool IsWaiting();
};
