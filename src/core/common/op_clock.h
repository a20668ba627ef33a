#pragma once

#include <chrono>
#include <functional>

// Time as the device operations see it. Each operation that waits (an authenticate answer, an
// acknowledge, a batch tick, a firmware check) takes a clock, so that:
//   - the command line waits in real time, sleeping its thread;
//   - a window waits in real time but keeps painting (its clock runs a local event loop that
//     lets no user input through, so no handler runs re-entrantly);
//   - tests step a CManualOpClock and run 200 ms ticks, 10-second checks and 920-second
//     time-outs without sleeping.
class IOpClock {
public:
  virtual ~IOpClock() = default;
  // Monotonic time since an arbitrary start.
  virtual std::chrono::milliseconds Now() = 0;
  // Lets `duration` pass before returning.
  virtual void Pause(std::chrono::milliseconds duration) = 0;
};

// The steady clock; Pause sleeps the calling thread. Shared by the whole process.
IOpClock& SteadyOpClock();

// A clock that moves only when paused. Each Pause advances it and then calls the hook, so a
// test can let an answer "arrive" at a given time.
class CManualOpClock : public IOpClock {
public:
  std::chrono::milliseconds Now() override { return m_now; }
  void Pause(std::chrono::milliseconds duration) override;
  void Advance(std::chrono::milliseconds duration) { m_now += duration; }
  // Called after every Pause with the new time.
  void SetPauseHook(std::function<void(std::chrono::milliseconds now)> hook) {
    m_hook = std::move(hook);
  }

private:
  std::chrono::milliseconds m_now{0};
  std::function<void(std::chrono::milliseconds)> m_hook;
};

// Pauses in steps of `step` until `done` returns true or `limit` has passed since the call.
// Returns whether `done` became true; `done` is asked once before the first pause.
bool PauseUntil(IOpClock& clock, std::chrono::milliseconds limit, std::chrono::milliseconds step,
                const std::function<bool()>& done);
