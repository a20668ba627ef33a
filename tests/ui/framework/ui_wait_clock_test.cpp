#include "ui/framework/ui_wait_clock.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>

#include "support/ui_driver.h"
#include "ui/framework/notify_hub.h"
#include "ui/framework/ui_thread.h"

namespace {

class CountingPump : public CNotifyPump {
public:
  bool DispatchNotify(TNotifyMsg& msg) override {
    if (msg.sType == QLatin1String(kNotifyTimer)) ++ticks;
    return true;
  }
  int ticks = 0;
};

TEST(UiWaitClock, PauseRunsHandedOverWorkButHoldsBackTimers) {
  QWidget window;
  CountingPump pump;
  auto* hub = new CNotifyHub(&window, &pump);
  hub->SetTimer(&window, 1, 5);
  ASSERT_TRUE(uitest::WaitUntil([&] { return pump.ticks > 0; }));

  CUiWaitClock clock;
  bool handedOver = false;
  PostToUiThread(&window, [&] { handedOver = true; });
  const int ticksBefore = pump.ticks;
  const auto start = clock.Now();
  clock.Pause(std::chrono::milliseconds(80));
  EXPECT_GE(clock.Now() - start, std::chrono::milliseconds(80));
  EXPECT_TRUE(handedOver);             // reports reach their controls during a wait
  EXPECT_EQ(pump.ticks, ticksBefore);  // no timer handler runs inside it
  EXPECT_FALSE(CUiWaitClock::IsWaiting());
  EXPECT_TRUE(uitest::WaitUntil([&] { return pump.ticks > ticksBefore; }));  // ticks come back
}

}  // namespace
