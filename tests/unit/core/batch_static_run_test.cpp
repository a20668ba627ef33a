#include "core/batch/batch_static_run.h"

#include <gtest/gtest.h>

#include <map>

#include "common/batch_static_recorder.h"
#include "core/common/op_clock.h"

using namespace std::chrono_literals;

namespace {

using namespace batch_test;

const ItemList kStaticNow = {"Config.Network.LAN.Type=2"};

}  // namespace

TEST(BatchStaticRun, StartAsksEveryDeviceForItsSettingsUnderItsInterfaceKeys) {
  Recorder rec;
  CBatchStaticRun run(
      {Device("10.0.0.1", "021A2B000001"), Device("10.0.0.2", "02:1a:2b:00:00:02", "061A2B000002")},
      rec.Sender());
  run.Start();
  ASSERT_EQ(rec.requests.size(), 2u);
  EXPECT_EQ(rec.requests[0].items,
            (ItemList{"Config.Network.LAN.Type", "Config.Status.IP", "Config.Status.Gateway",
                      "Config.Status.Netmask", "Config.Status.PrimaryDNS",
                      "Config.Status.SecondaryDNS"}));
  EXPECT_EQ(rec.requests[1].items[0], "Config.Network.WLAN.Type");
  EXPECT_EQ(run.CountStatus(kBatchConfiguring), 2u);
  EXPECT_EQ(run.GetPhase(), CBatchStaticRun::Phase::kWaiting);
}

TEST(BatchStaticRun, AllReportedAtTheFirstTickConfiguresThenWithListedIpAndReportedValues) {
  Recorder rec;
  CBatchStaticRun run(
      {Device("10.0.0.1", "021A2B000001"), Device("10.0.0.2", "02:1a:2b:00:00:02", "061A2B000002")},
      rec.Sender());
  run.Start();
  const ItemList first = FullReport("0", "10.9.9.9");  // the device now reports another address
  run.OnReportConfig("021A2B000001", &first);
  const ItemList second = FullReport();
  run.OnReportConfig("02:1a:2b:00:00:02", &second);

  EXPECT_TRUE(run.OnWaitTick());
  EXPECT_EQ(run.WaitTicks(), 1u);
  ASSERT_EQ(rec.updates.size(), 2u);
  EXPECT_EQ(
      rec.updates[0].items,
      (ItemList{"Config.Network.LAN.Type=2", "Config.Network.LAN.StaticIP=10.0.0.1",
                "Config.Network.LAN.DefaultGateway=10.0.0.254",
                "Config.Network.LAN.SubnetMask=255.255.0.0",
                "Config.Network.LAN.PrimaryDNS=10.0.0.253", "Config.Network.LAN.SecondaryDNS="}));
  EXPECT_EQ(rec.updates[1].items[0], "Config.Network.WLAN.Type=2");
  EXPECT_EQ(rec.updates[1].items[1], "Config.Network.WLAN.StaticIP=10.0.0.2");
  EXPECT_EQ(run.GetPhase(), CBatchStaticRun::Phase::kPolling);
  EXPECT_FALSE(run.OnWaitTick()) << "configure runs once";
  EXPECT_EQ(rec.updates.size(), 2u);
}

// A device whose full report is lost at first delays the configure step to the 21st tick; it
// is asked again on every poll tick and configured as soon as its report comes. One that never
// reports fails only when the polling ends.
TEST(BatchStaticRun, UnreportedDevicesAreAskedUntilTheRunEndsAndConfiguredLate) {
  Recorder rec;
  std::vector<size_t> changed;
  CBatchStaticRun run({Device("10.0.0.1", "021A2B000001"), Device("10.0.0.2", "021A2B000002"),
                       Device("10.0.0.3", "021A2B000003")},
                      rec.Sender());
  run.SetRowChanged([&](size_t row) { changed.push_back(row); });
  run.Start();
  const ItemList report = FullReport();
  run.OnReportConfig("021A2B000001", &report);
  for (int tick = 1; tick <= 20; ++tick) ASSERT_FALSE(run.OnWaitTick()) << "tick " << tick;
  EXPECT_TRUE(rec.updates.empty());
  // The silent devices were asked again every second (ticks 5, 10, 15, 20); the other was not.
  EXPECT_EQ(rec.requests.size(), 3u + 2 * 4u);
  EXPECT_EQ(run.Rows()[1].requestTries, 5);
  EXPECT_EQ(run.Rows()[0].requestTries, 1);
  EXPECT_TRUE(run.OnWaitTick());
  ASSERT_EQ(rec.updates.size(), 1u);
  EXPECT_EQ(rec.updates[0].mac, "021A2B000001");
  EXPECT_EQ(run.Rows()[1].status, kBatchConfiguring) << "still asked, not failed yet";
  EXPECT_TRUE(changed.empty());

  // Row 1's report arrives after the first poll tick asked again: configured at the next tick.
  rec.requests.clear();
  ASSERT_FALSE(run.OnPollTick());
  ASSERT_EQ(rec.requests.size(), 3u);
  EXPECT_EQ(rec.requests[1].mac, "021A2B000002");
  EXPECT_EQ(rec.requests[1].items.size(), 6u) << "the full request, not the Type poll";
  run.OnReportConfig("021A2B000002", &report);
  run.OnReportConfig("021A2B000001", &kStaticNow);
  run.ApplyReports();
  ASSERT_FALSE(run.OnPollTick());
  ASSERT_EQ(rec.updates.size(), 2u);
  EXPECT_EQ(rec.updates[1].mac, "021A2B000002");
  EXPECT_EQ(run.Rows()[1].updateTries, 1);
  run.OnReportConfig("021A2B000002", &kStaticNow);
  run.ApplyReports();
  for (unsigned tick = 3; tick <= 15; ++tick) ASSERT_FALSE(run.OnPollTick()) << tick;
  EXPECT_EQ(run.Rows()[2].requestTries, 5 + 15);
  EXPECT_TRUE(run.OnPollTick());
  EXPECT_EQ(run.Rows()[2].status, kBatchFailed);
  EXPECT_EQ(run.Rows()[2].failure, BatchFailure::kNoReport);
  EXPECT_EQ(run.Rows()[2].updateTries, 0);
  EXPECT_EQ(run.CountStatus(kBatchSuccess), 2u);
  EXPECT_EQ(changed, (std::vector<size_t>{0, 1, 2}));
}

TEST(BatchStaticRun, ReportRules) {
  Recorder rec;
  CBatchStaticRun run({Device("10.0.0.1", "021A2B000001"), Device("10.0.0.2", "021A2B000002")},
                      rec.Sender());
  int wakes = 0;
  run.SetReportWake([&] { ++wakes; });
  run.Start();

  // Five items are not stored; they may still make a row succeed (MAC matched ignoring case).
  const ItemList five = {"Config.Network.LAN.Type=2", "Config.Status.IP=10.0.0.1",
                         "Config.Status.Gateway=10.0.0.254", "Config.Status.Netmask=255.255.0.0",
                         "Config.Status.PrimaryDNS=10.0.0.253"};
  run.OnReportConfig("021a2b000001", &five);
  EXPECT_FALSE(run.HasReport("021a2b000001"));
  EXPECT_EQ(run.Rows()[0].status, kBatchConfiguring) << "applied on the caller's thread only";
  run.OnReportConfig("021a2b000001", &five);
  EXPECT_EQ(wakes, 1) << "one wake until the queue is applied";
  run.ApplyReports();
  EXPECT_EQ(run.Rows()[0].status, kBatchSuccess);

  // Reports of MACs without a row are not stored, whatever they show: the segment may send
  // any number of them.
  const ItemList dhcp = FullReport("0");
  const ItemList staticFull = FullReport("2");
  run.OnReportConfig("02AAAAAAAAAA", &dhcp);
  run.OnReportConfig("02BBBBBBBBBB", &staticFull);
  EXPECT_FALSE(run.HasReport("02AAAAAAAAAA"));
  EXPECT_FALSE(run.HasReport("02BBBBBBBBBB"));

  // The WLAN key counts when the LAN key is not "2"; empty lists change nothing.
  const ItemList wlan = {"Config.Network.LAN.Type=0", "Config.Network.WLAN.Type=2"};
  const ItemList empty;
  run.OnReportConfig("021A2B000002", &empty);
  run.OnReportConfig("021A2B000002", nullptr);
  run.OnReportConfig("021A2B000002", &wlan);
  run.ApplyReports();
  EXPECT_EQ(run.Rows()[1].status, kBatchSuccess);
  EXPECT_EQ(wakes, 2);

  // A finished row stores nothing more from a static report.
  run.OnReportConfig("021A2B000002", &staticFull);
  EXPECT_FALSE(run.HasReport("021A2B000002"));
}

// The update goes again while the device is not static, with backoff (ticks 2, 5, 8, 11, 14),
// but not to a device that has answered nothing for 12 s.
TEST(BatchStaticRun, FailedRowStaysFailedAndPollingEndsAtThe16thTick) {
  Recorder rec;
  std::vector<size_t> changed;
  CBatchStaticRun run({Device("10.0.0.1", "021A2B000001"), Device("10.0.0.2", "021A2B000002"),
                       Device("10.0.0.3", "021A2B000003")},
                      rec.Sender());
  run.SetRowChanged([&](size_t row) { changed.push_back(row); });
  run.Start();
  const ItemList report = FullReport();
  run.OnReportConfig("021A2B000001", &report);
  run.OnReportConfig("021A2B000002", &report);
  while (!run.OnWaitTick()) {
  }
  ASSERT_EQ(run.Rows()[2].status, kBatchConfiguring);

  rec.requests.clear();
  ASSERT_FALSE(run.OnPollTick());
  ASSERT_EQ(rec.requests.size(), 3u) << "two unfinished rows polled, the unreported one asked";
  EXPECT_EQ(rec.requests[0].items, ItemList{"Config.Network.LAN.Type"});
  run.OnReportConfig("021A2B000001", &kStaticNow);
  run.ApplyReports();
  for (unsigned tick = 2; tick <= 15; ++tick) ASSERT_FALSE(run.OnPollTick()) << tick;
  EXPECT_EQ(rec.requests.size(), 3u + 14u * 2u) << "only the unfinished rows after the first";
  // Row 1 answered last at the first poll tick (its full report): its update went again,
  // unchanged, at ticks 2, 5, 8 and 11; at tick 14 it had been silent for 13 s.
  ASSERT_EQ(rec.updates.size(), 2u + 4u);
  for (size_t i = 2; i < rec.updates.size(); ++i)
    EXPECT_EQ(rec.updates[i].items, rec.updates[1].items);
  EXPECT_EQ(run.Rows()[1].updateTries, 5);
  EXPECT_TRUE(run.OnPollTick());
  EXPECT_EQ(run.GetPhase(), CBatchStaticRun::Phase::kDone);
  EXPECT_EQ(run.Rows()[0].status, kBatchSuccess);
  EXPECT_EQ(run.Rows()[1].status, kBatchFailed);
  EXPECT_EQ(run.Rows()[1].failure, BatchFailure::kNeverStatic);
  EXPECT_EQ(run.Rows()[2].failure, BatchFailure::kNoReport);
  EXPECT_EQ(changed, (std::vector<size_t>{0, 1, 2}));
  EXPECT_EQ(run.CountStatus(kBatchSuccess), 1u);
  EXPECT_EQ(run.CountStatus(kBatchFailed), 2u);

  run.OnReportConfig("021A2B000002", &kStaticNow);
  run.ApplyReports();
  EXPECT_EQ(run.Rows()[1].status, kBatchFailed);
}

TEST(BatchStaticRun, StoppedRunIgnoresReportsAndDropsQueuedOnes) {
  Recorder rec;
  CBatchStaticRun run({Device("10.0.0.1", "021A2B000001")}, rec.Sender());
  run.Start();
  run.OnReportConfig("021A2B000001", &kStaticNow);
  run.Stop();
  run.ApplyReports();
  const ItemList report = FullReport();
  run.OnReportConfig("021A2B000001", &report);
  EXPECT_EQ(run.Rows()[0].status, kBatchConfiguring);
  EXPECT_FALSE(run.HasReport("021A2B000001"));
}

// The clock-driven loop the command line uses, against devices that answer when time passes.
TEST(BatchStaticRun, RunOnAClockEndsEarlyWhenAllSucceedAndAtThe16thPollOtherwise) {
  for (bool oneNeverStatic : {false, true}) {
    SCOPED_TRACE(oneNeverStatic ? "one device never turns static" : "healthy fleet");
    Recorder rec;
    std::vector<std::string> statics;  // devices that got their update
    CBatchStaticRun run({Device("10.0.0.1", "021A2B000001"), Device("10.0.0.2", "021A2B000002")},
                        rec.Sender());
    size_t answered = 0;
    CManualOpClock clock;
    // Devices answer at the next pause after a request: full reports, then "2" once updated.
    clock.SetPauseHook([&](std::chrono::milliseconds) {
      for (; answered < rec.requests.size(); ++answered) {
        const Sent& request = rec.requests[answered];
        const bool updated = std::any_of(rec.updates.begin(), rec.updates.end(),
                                         [&](const Sent& u) { return u.mac == request.mac; });
        const bool stuck = oneNeverStatic && request.mac == "021A2B000002";
        const ItemList report = request.items.size() > 1
                                    ? FullReport()
                                    : ItemList{updated && !stuck ? "Config.Network.LAN.Type=2"
                                                                 : "Config.Network.LAN.Type=0"};
        run.OnReportConfig(request.mac, &report);
      }
    });
    RunBatchStatic(run, clock);
    EXPECT_EQ(run.WaitTicks(), 1u);
    // The stuck device answers every poll, so its update goes again until the run's end: at
    // poll ticks 2, 5, 8, 11 and 14.
    EXPECT_EQ(rec.updates.size(), oneNeverStatic ? 2u + 5u : 2u);
    EXPECT_EQ(run.Rows()[0].status, kBatchSuccess);
    if (!oneNeverStatic) {
      EXPECT_EQ(run.PollTicks(), 1u);
      EXPECT_LE(clock.Now(), 1300ms);
    } else {
      EXPECT_EQ(run.Rows()[1].status, kBatchFailed);
      EXPECT_EQ(run.PollTicks(), 16u);
      EXPECT_EQ(clock.Now(), 200ms + 16 * 1000ms);
    }
  }
}

// Lost frames: a device that hears only its third configuration request, one that applies only
// its fourth update, and one that never applies any but keeps answering. The run asks and
// updates again within its ticks; only the last fails, after an update at every step of the
// backoff (0, 2, 5, 8, 11 and 14 s).
TEST(BatchStaticRun, LostRequestsAndUpdatesAreSentAgain) {
  Recorder rec;
  CBatchStaticRun run({Device("10.0.0.1", "021A2B000001"), Device("10.0.0.2", "021A2B000002"),
                       Device("10.0.0.3", "021A2B000003")},
                      rec.Sender());
  std::map<std::string, int> requestsHeard, updatesHeard;
  size_t answered = 0, applied = 0;
  CManualOpClock clock;
  clock.SetPauseHook([&](std::chrono::milliseconds) {
    for (; applied < rec.updates.size(); ++applied) ++updatesHeard[rec.updates[applied].mac];
    for (; answered < rec.requests.size(); ++answered) {
      const Sent& request = rec.requests[answered];
      if (request.items.size() > 1) {
        if (++requestsHeard[request.mac] < 3 && request.mac == "021A2B000001") continue;
        const ItemList report = FullReport();
        run.OnReportConfig(request.mac, &report);
        continue;
      }
      const int needed = request.mac == "021A2B000002" ? 4 : request.mac == "021A2B000003" ? 99 : 1;
      const ItemList report = {updatesHeard[request.mac] >= needed ? "Config.Network.LAN.Type=2"
                                                                   : "Config.Network.LAN.Type=0"};
      run.OnReportConfig(request.mac, &report);
    }
  });
  RunBatchStatic(run, clock);
  EXPECT_EQ(run.WaitTicks(), 11u) << "the third request went at tick 10";
  const struct {
    int status, requestTries, updateTries;
  } expected[] = {{kBatchSuccess, 3, 1}, {kBatchSuccess, 1, 4}, {kBatchFailed, 1, 6}};
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(run.Rows()[i].status, expected[i].status);
    EXPECT_EQ(run.Rows()[i].requestTries, expected[i].requestTries);
    EXPECT_EQ(run.Rows()[i].updateTries, expected[i].updateTries);
  }
  EXPECT_EQ(run.Rows()[2].failure, BatchFailure::kNeverStatic);
  EXPECT_EQ(run.PollTicks(), 16u) << "the tick counts stay as they are";
}
