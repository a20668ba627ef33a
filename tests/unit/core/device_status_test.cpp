#include "core/site/device_status.h"

#include <gtest/gtest.h>

#include <chrono>

#include "core/common/op_clock.h"
#include "core/control/control.h"
#include "unit/inbound/inbound_fixture.h"

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

// The answer path keeps a handle per device to skip the lookup. A handle from before the
// device was forgotten or the tracker reset must not reach the old record: the device is
// recorded anew, as without a handle.
TEST(DeviceStatus, AHandleOutlivesNoForgetAndNoReset) {
  Site site;
  CDeviceStatusTracker::HANDLE_T handle;
  site.tracker.BeginRound();
  site.tracker.OnAnswer("A", &handle);
  site.clock.Advance(1000ms);
  site.tracker.OnAnswer("A", &handle);
  EXPECT_EQ(site.Live("A").firstSeen, 0ms);
  EXPECT_EQ(site.Live("A").lastSeen, 1000ms);
  for (int step = 0; step < 2; ++step) {
    if (step == 0) site.tracker.Forget("A");
    if (step == 1) site.tracker.Reset();
    site.clock.Advance(1000ms);
    site.tracker.OnAnswer("A", &handle);
    const auto firstSeen = site.clock.Now();
    site.clock.Advance(1000ms);
    site.tracker.OnAnswer("A", &handle);
    EXPECT_EQ(site.Live("A").firstSeen, firstSeen) << step;
    EXPECT_EQ(site.Live("A").lastSeen, site.clock.Now()) << step;
  }
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

// The window asks every second whether a snapshot would show anything new, and takes one only
// then: every move of a status must say yes, the same answers round after round must not.
TEST(DeviceStatus, ChangedSinceSaysYesExactlyWhenAStatusMoved) {
  Site site;
  STATUS_STAMP_T stamp = site.tracker.Snapshot().Stamp();
  auto changed = [&] {
    const bool moved = site.tracker.ChangedSince(stamp, nullptr);
    stamp = site.tracker.Snapshot().Stamp();
    return moved;
  };
  EXPECT_TRUE(site.tracker.ChangedSince(STATUS_STAMP_T{}, nullptr)) << "no snapshot yet";
  site.Round({"A", "B"});  // the baseline round
  EXPECT_TRUE(changed()) << "A and B heard first";
  site.Round({"A", "B"});
  site.Round({"A", "B"});
  EXPECT_FALSE(changed()) << "the same answers";
  site.Round({"A", "C"});
  EXPECT_TRUE(changed()) << "C heard first, new";
  site.Round({"A", "C"});
  site.Round({"A", "C"});
  EXPECT_FALSE(changed()) << "B silent, not missing yet";
  site.tracker.BeginRound();
  EXPECT_TRUE(changed()) << "B missing";
  EXPECT_EQ(site.Live("B").status, EDeviceStatus::kMissing);
  site.clock.Advance(10ms);
  site.tracker.OnAnswer("A");
  site.tracker.OnAnswer("C");
  EXPECT_FALSE(changed()) << "online devices answered again";

  // C is new for a minute from its first answer (at 15 010 ms); the end shows within a step.
  site.clock.Advance(75010ms - 30010ms - 200ms);
  EXPECT_FALSE(changed()) << "C still new";
  EXPECT_TRUE(site.Live("C").isNew);
  site.clock.Advance(200ms);
  EXPECT_TRUE(changed()) << "C no longer new";
  EXPECT_FALSE(site.Live("C").isNew);
  site.clock.Advance(1000ms);
  EXPECT_FALSE(changed());

  site.tracker.OnAnswer("B");
  EXPECT_TRUE(changed()) << "B back";
  site.clock.Advance(1000ms);
  site.tracker.OnAnswer("B");
  EXPECT_TRUE(changed()) << "B heard again while back: its tooltip shows the time";
  site.tracker.Forget("C");
  EXPECT_TRUE(changed()) << "C forgotten";
  site.tracker.Reset();
  EXPECT_TRUE(changed()) << "reset";
}

// Discovery answers reach the tracker through the table's own path (the worker's socket
// handler puts the device into the table and records the answer); removing a device from the
// table forgets it, clearing the table forgets every device.
TEST(DeviceStatus, ControlFeedsTrackerFromTheTableOperations) {
  using namespace inbound_test;
  constexpr uint8_t kFrameMac[6] = {0x02, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
  CControl control;
  CManualOpClock clock;
  control.DeviceStatus().SetClock(&clock);
  const auto answer = [&](const std::string& mac, const std::string& ip) {
    const PACKET_RECORD_T record = Received(MSG_DISCOVER_ACK, DiscoverDoc(mac, "", ip, "M", "29.1"),
                                            kDiscoverKeyText, Envelope::kBare, kFrameMac);
    return control.OnSocketMsg(&record);
  };
  const auto known = [&](const std::string& mac) {
    return control.DeviceStatus().Snapshot().LiveOf(mac).known;
  };

  control.DeviceStatus().BeginRound();  // the baseline round
  clock.Advance(1500ms);
  ASSERT_EQ(answer("02:1a:2b:3c:4d:5e", "10.0.0.5"), 0);
  ASSERT_EQ(answer("02:1a:2b:3c:4d:5f", "10.0.0.6"), 0);
  ASSERT_EQ(control.GetDeviceList().size(), 2u);
  EXPECT_TRUE(known("02:1a:2b:3c:4d:5e"));
  EXPECT_EQ(control.DeviceStatus().Snapshot().LiveOf("02:1a:2b:3c:4d:5f").lastSeen, 1500ms);
  control.DeviceStatus().BeginRound();
  control.DeviceStatus().BeginRound();

  // A boot-up (reboot, upgrade) takes the device out of the table until it answers again; it is
  // the same device then, never a new one.
  control.RemoveDevice("02:1a:2b:3c:4d:5e");
  EXPECT_TRUE(known("02:1a:2b:3c:4d:5e"));
  ASSERT_EQ(answer("02:1a:2b:3c:4d:5e", "10.0.0.5"), 0);
  const DEVICE_LIVE_T live = control.DeviceStatus().Snapshot().LiveOf("02:1a:2b:3c:4d:5e");
  EXPECT_FALSE(live.isNew);
  EXPECT_EQ(live.status, EDeviceStatus::kOnline);

  control.ClearDevices();
  EXPECT_TRUE(control.DeviceStatus().Snapshot().devices.empty());
  ASSERT_EQ(answer("02:1a:2b:3c:4d:5e", "10.0.0.5"), 0);  // heard again after the refresh
  EXPECT_TRUE(known("02:1a:2b:3c:4d:5e"));
}

}  // namespace
