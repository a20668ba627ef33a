#include "core/common/op_clock.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

TEST(OpClock, PauseUntilStopsWhenDoneOrAtTheLimit) {
  CManualOpClock clock;
  int pauses = 0;
  clock.SetPauseHook([&](std::chrono::milliseconds) { ++pauses; });

  // Never done: 200 steps of 10 ms reach the limit, and not one step more.
  EXPECT_FALSE(PauseUntil(clock, 2000ms, 10ms, [] { return false; }));
  EXPECT_EQ(clock.Now(), 2000ms);
  EXPECT_EQ(pauses, 200);

  // Done after 35 ms of waiting: stops at the first check past it.
  const auto start = clock.Now();
  EXPECT_TRUE(PauseUntil(clock, 5000ms, 10ms, [&] { return clock.Now() - start >= 35ms; }));
  EXPECT_EQ(clock.Now() - start, 40ms);

  // Already done: no pause at all; a limit that is not a multiple of the step is kept exactly.
  pauses = 0;
  EXPECT_TRUE(PauseUntil(clock, 5000ms, 10ms, [] { return true; }));
  EXPECT_EQ(pauses, 0);
  const auto before = clock.Now();
  EXPECT_FALSE(PauseUntil(clock, 25ms, 10ms, [] { return false; }));
  EXPECT_EQ(clock.Now() - before, 25ms);
}
