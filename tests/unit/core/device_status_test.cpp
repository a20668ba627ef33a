#include "core/device_status.h"

#include <gtest/gtest.h>

#include <chrono>

#include "core/control.h"
#include "core/op_clock.h"

using namespace std::chrono_literals;

namespace {

// A discovery every 5 s, as the window and the watch send them; the devices listed answer
// right after it.
struct Site {
  CManualOpClock clock;
  CDeviceStatusTracker tracker;
  Site() { tracker.SetClock(&clock); }
  void Round(std::initializer_list<const char*> answering) {
    tracker.BeginRound();
    clock.Advance(10ms);
    for (const char* mac : answering) tracker.OnAnswer(mac);
    clock.Advance(4990ms);
  }
  DEVICE_LIVE_T Live(const char* mac) const { return tracker.Snapshot().LiveOf(mac); }
};

TEST(DeviceStatus, MissingAfterThreeSilentRoundsThenBackThenOnline) {
  Site site;
  site.Round({"A", "B"});
  site.Round({"A", "B"});
  // B goes quiet: rounds 3, 4 and 5 pass without it. It is called missing only once the third
  // silent round is over (the sixth discovery left), never in the moment a discovery leaves.
  site.Round({"A"});
  site.Round({"A"});
  EXPECT_EQ(site.Live("B").status, EDeviceStatus::kOnline);
  site.Round({"A"});
  EXPECT_EQ(site.Live("B").status, EDeviceStatus::kOnline);
  site.tracker.BeginRound();
  EXPECT_EQ(site.Live("B").status, EDeviceStatus::kMissing);
  EXPECT_EQ(site.Live("A").status, EDeviceStatus::kOnline);
  EXPECT_EQ(site.Live("B").lastSeen, 5010ms);

  site.clock.Advance(10ms);
  site.tracker.OnAnswer("A");
  site.tracker.OnAnswer("B");
  EXPECT_EQ(site.Live("B").status, EDeviceStatus::kBack);
  site.clock.Advance(CDeviceStatusTracker::kFreshFor);
  EXPECT_EQ(site.Live("B").status, EDeviceStatus::kOnline);
  EXPECT_EQ(site.Live("B").firstSeen, 10ms);
}

TEST(DeviceStatus, NewOnlyAfterTheBaselineRoundAndForAMinute) {
  Site site;
  site.Round({"A"});  // the baseline: what was there when the list opened
  site.Round({"A", "C"});
  EXPECT_FALSE(site.Live("A").isNew);
  EXPECT_TRUE(site.Live("C").isNew);
  site.clock.Advance(CDeviceStatusTracker::kFreshFor);
  EXPECT_FALSE(site.Live("C").isNew);
  EXPECT_FALSE(site.Live("unknown").known);

  // A refresh forgets everything: the next round is the baseline again.
  site.tracker.Reset();
  site.Round({"A", "C"});
  site.Round({"A", "C", "D"});
  EXPECT_FALSE(site.Live("C").isNew);
  EXPECT_TRUE(site.Live("D").isNew);
}

TEST(DeviceStatus, ControlFeedsTrackerFromTheTableOperations) {
  CControl control;
  CManualOpClock clock;
  control.DeviceStatus().SetClock(&clock);
  control.DeviceStatus().BeginRound();  // the baseline round
  control.UpdateDevice({"10.0.0.1", "021A2B3C4D5E", "021A2B3C4D5E", "M", "1-1", "1.0"});
  control.DeviceStatus().OnAnswer("021A2B3C4D5E");
  control.DeviceStatus().BeginRound();
  control.DeviceStatus().BeginRound();
  // A boot-up (reboot, upgrade) takes the device out of the table until it answers again; it is
  // the same device then, never a new one.
  control.RemoveDevice("021A2B3C4D5E");
  control.DeviceStatus().OnAnswer("021A2B3C4D5E");
  const DEVICE_LIVE_T live = control.DeviceStatus().Snapshot().LiveOf("021A2B3C4D5E");
  EXPECT_TRUE(live.known);
  EXPECT_FALSE(live.isNew);
  EXPECT_EQ(live.status, EDeviceStatus::kOnline);
  control.DeviceStatus().OnAnswer("021A2B3C4D5F");
  control.ClearDevices();
  EXPECT_TRUE(control.DeviceStatus().Snapshot().devices.empty());
}

}  // namespace
