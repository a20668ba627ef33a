#include "core/upgrade/upgrade_rollout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/common/op_clock.h"
#include "core/control/control.h"
#include "protocol/reply_records.h"
#include "protocol/text_field.h"

namespace {

using namespace std::chrono_literals;
using Result = RolloutEntry::Result;

// How a simulated device reacts to the request, on the rollout's clock.
// kRefusesDownload fetches nothing and says nothing; kAnswersFailed acknowledges the request
// with "Failed"; kSilent never answers a discovery either.
enum class Behaviour {
  kUpgrades,
  kKeepsOldFirmware,
  kRefusesDownload,
  kAnswersFailed,
  kUnreachable,
  kSilent
};

struct SimDevice {
  DEVICE_ENTRY_T entry;
  Behaviour behaviour = Behaviour::kUpgrades;
  int lostRequests = 0;  // the first requests never reach it
  std::string reason;    // what a device that answers "Failed" gives as its Info
  int requests = 0;
  std::chrono::milliseconds sentAt{-1};  // the request it heard
  bool booted = false;
  bool back = false;
};

// A rollout against a fake fleet: the device table lives in a real CControl; a device that got
// the request boots 3 s later (boot-up message, leaves the table) and answers the discovery
// again 2 s after that.
class Rollout : public ::testing::Test {
protected:
  void Add(const std::string& mac, const std::string& firmware, Behaviour behaviour,
           int lostRequests = 0) {
    SimDevice d;
    d.lostRequests = lostRequests;
    d.entry.mac = mac;
    d.entry.workMac = mac;
    d.entry.ip = "10.213.1." + std::to_string(devices.size() + 1);
    d.entry.firmware = firmware;
    d.behaviour = behaviour;
    devices[mac] = d;
    control.UpdateDevice(d.entry);
    targets.push_back(d.entry);
  }

  void Run(RolloutOptions options) {
    rollout = std::make_unique<CUpgradeRollout>(control, clock, options, targets);
    rollout->send = [this](const DEVICE_ENTRY_T& e) {
      SimDevice& d = devices[e.mac];
      if (d.behaviour == Behaviour::kUnreachable) return false;
      if (++d.requests == 1) {
        ++running;
        maxRunning = std::max(maxRunning, running);
      }
      if (d.requests > d.lostRequests && d.sentAt.count() < 0) d.sentAt = clock.Now();
      if (d.behaviour == Behaviour::kAnswersFailed) {
        MSG_ACK_T ack{};
        Utf8ToField("17", ack.szMsgID);
        Utf8ToField("Failed", ack.szResult);
        Utf8ToField(d.reason.c_str(), ack.szInfo);
        rollout->OnDeviceAck(e.mac, ack);  // as the core's worker would
      }
      return true;
    };
    // A device that heard the request fetches the image unless it refuses.
    rollout->downloadSeen = [this](const DEVICE_ENTRY_T& e) {
      const SimDevice& d = devices[e.mac];
      return d.sentAt.count() >= 0 && d.behaviour != Behaviour::kRefusesDownload &&
             d.behaviour != Behaviour::kAnswersFailed;
    };
    rollout->discover = [this] {
      for (auto& [mac, d] : devices) {
        // Every device that runs answers the discovery (as the core's worker would hand on).
        if (d.behaviour != Behaviour::kSilent && (!d.booted || d.back))
          rollout->OnDeviceAnswer(d.entry);
        if (d.booted && !d.back && clock.Now() >= d.sentAt + 5s) {
          d.back = true;
          if (d.behaviour == Behaviour::kUpgrades) d.entry.firmware = rollout->ImageVersionText();
          control.UpdateDevice(d.entry);
        }
      }
    };
    rollout->progress = [this](const RolloutEntry& e) {
      if (e.Final() && e.result != Result::kSkipped && e.result != Result::kNotSent) --running;
      if (progressHook) progressHook(e);
    };
    clock.SetPauseHook([this](std::chrono::milliseconds now) {
      for (auto& [mac, d] : devices) {
        const bool reboots =
            d.behaviour == Behaviour::kUpgrades || d.behaviour == Behaviour::kKeepsOldFirmware;
        if (reboots && !d.booted && d.sentAt.count() >= 0 && now >= d.sentAt + 3s) {
          d.booted = true;
          rollout->OnDeviceBootUp(mac);  // as the core's worker would
        }
      }
    });
    rollout->Run();
  }

  const RolloutEntry& EntryOf(const std::string& mac) {
    for (const RolloutEntry& e : rollout->Entries())
      if (e.device.mac == mac) return e;
    static RolloutEntry none;
    ADD_FAILURE() << "no entry for " << mac;
    return none;
  }

  CControl control;
  CManualOpClock clock;
  std::map<std::string, SimDevice> devices;
  std::vector<DEVICE_ENTRY_T> targets;
  std::unique_ptr<CUpgradeRollout> rollout;
  int running = 0;
  int maxRunning = 0;
  std::function<void(const RolloutEntry&)> progressHook;
};

TEST_F(Rollout, EachDeviceEndsByItsOwnBehaviourAndAtMostNRunAtOnce) {
  for (int i = 0; i < 10; ++i) Add("DEV" + std::to_string(i), "12.30.1.1", Behaviour::kUpgrades);
  Add("KEEPS", "12.30.1.1", Behaviour::kKeepsOldFirmware);
  Add("REFUSES", "12.30.1.1", Behaviour::kRefusesDownload);
  Add("ALREADY", "12.31.1.1", Behaviour::kUpgrades);
  Add("UNREACHABLE", "12.30.1.1", Behaviour::kUnreachable);
  Add("SAYSNO", "12.30.1.1", Behaviour::kAnswersFailed);
  devices["SAYSNO"].reason = "flash full";
  Add("SAYSNOTHING", "12.30.1.1", Behaviour::kAnswersFailed);

  RolloutOptions options;
  options.imageName = "12.31.1.1.rom";
  options.host = "10.213.0.1";
  options.parallel = 3;
  options.timeout = 60s;
  Run(options);

  EXPECT_EQ(maxRunning, 3);
  for (int i = 0; i < 10; ++i) {
    const RolloutEntry& e = EntryOf("DEV" + std::to_string(i));
    EXPECT_EQ(e.result, Result::kCompleted) << e.device.mac;
    EXPECT_EQ(e.oldVersion, "12.30.1.1");
    EXPECT_EQ(e.newVersion, "12.31.1.1");
    // Back in the table 5 s after the request, seen at the next 1-second check.
    EXPECT_GE(e.elapsed, 5s);
    EXPECT_LE(e.elapsed, 7s);
  }
  EXPECT_EQ(EntryOf("KEEPS").result, Result::kFailed);
  EXPECT_EQ(EntryOf("KEEPS").newVersion, "12.30.1.1");
  EXPECT_EQ(EntryOf("REFUSES").result, Result::kTimedOut);
  EXPECT_EQ(EntryOf("REFUSES").elapsed, 60s);
  // No sign of the request but answering the discovery: asked again at 3, 9, 21 and 41 s; the
  // devices that fetched were asked once.
  EXPECT_EQ(EntryOf("REFUSES").tries, 5);
  EXPECT_EQ(EntryOf("DEV0").tries, 1);
  // A device that answers the request with a failure ends failed at the next check, with its
  // reason, or ours when it gives none.
  for (const char* mac : {"SAYSNO", "SAYSNOTHING"}) {
    SCOPED_TRACE(mac);
    EXPECT_EQ(EntryOf(mac).result, Result::kFailed);
    EXPECT_LE(EntryOf(mac).elapsed, 1s);
    EXPECT_EQ(EntryOf(mac).tries, 1);
  }
  EXPECT_EQ(EntryOf("SAYSNO").reason, "flash full");
  EXPECT_EQ(EntryOf("SAYSNOTHING").reason, kRefusedImageReason);
  EXPECT_EQ(EntryOf("KEEPS").reason, "");
  EXPECT_EQ(EntryOf("ALREADY").result, Result::kSkipped);
  EXPECT_EQ(EntryOf("UNREACHABLE").result, Result::kNotSent);
  EXPECT_EQ(devices["ALREADY"].sentAt.count(), -1);  // never sent
  EXPECT_FALSE(rollout->AllOnNewVersion());
}

TEST_F(Rollout, AllOnTheNewVersionWhenEveryDeviceCompletedOrWasAlreadyOnIt) {
  Add("A", "12.30.1.1", Behaviour::kUpgrades);
  Add("B", "12.31.1.1", Behaviour::kUpgrades);
  RolloutOptions options;
  options.imageName = "12.31.1.1.rom";
  Run(options);
  EXPECT_EQ(EntryOf("A").result, Result::kCompleted);
  EXPECT_EQ(EntryOf("B").result, Result::kSkipped);
  EXPECT_TRUE(rollout->AllOnNewVersion());
  // A device's boot-up after its rollout ended changes nothing.
  rollout->OnDeviceBootUp("A");
  EXPECT_EQ(EntryOf("A").result, Result::kCompleted);
}

// Lost upgrade requests: a device that hears only the third is asked again (3 s, then 6 s
// later) and completes; one that keeps answering the discovery but hears none is asked again
// with gaps doubling up to 20 s until the rollout's limit; one that answers nothing at all is
// not asked any more once it has been silent for 30 s. The time limit counts from the first
// request.
TEST_F(Rollout, RequestsWithoutASignAreSentAgainWhileTheDeviceAnswers) {
  Add("THIRD", "12.30.1.1", Behaviour::kUpgrades, 2);
  Add("DEAF", "12.30.1.1", Behaviour::kUpgrades, 99);
  Add("GONE", "12.30.1.1", Behaviour::kSilent, 99);
  RolloutOptions options;
  options.imageName = "12.31.1.1.rom";
  options.timeout = 120s;
  Run(options);
  EXPECT_EQ(EntryOf("THIRD").result, Result::kCompleted);
  EXPECT_EQ(EntryOf("THIRD").tries, 3);
  EXPECT_EQ(devices["THIRD"].sentAt, 9s);
  EXPECT_GE(EntryOf("THIRD").elapsed, 14s);
  EXPECT_LE(EntryOf("THIRD").elapsed, 16s);
  EXPECT_EQ(EntryOf("DEAF").result, Result::kTimedOut);
  // 0, 3, 9, 21, 41, 61, 81 and 101 s.
  EXPECT_EQ(EntryOf("DEAF").tries, 8);
  EXPECT_EQ(devices["DEAF"].requests, 8);
  EXPECT_EQ(EntryOf("DEAF").elapsed, 120s);
  // 0, 3, 9 and 21 s; at 41 s it had been silent for 41 s.
  EXPECT_EQ(EntryOf("GONE").result, Result::kTimedOut);
  EXPECT_EQ(EntryOf("GONE").tries, 4);
}

TEST_F(Rollout, StopStartsNoFurtherDeviceAndFollowsTheRunningOnesToTheirEnd) {
  for (int i = 0; i < 6; ++i) Add("DEV" + std::to_string(i), "12.30.1.1", Behaviour::kUpgrades);
  RolloutOptions options;
  options.imageName = "12.31.1.1.rom";
  options.parallel = 2;
  bool stopped = false;
  progressHook = [&](const RolloutEntry& e) {
    // Asked while the first two run (the installer's cancel comes from another thread).
    if (e.result == Result::kRunning && e.device.mac == "DEV1" && !stopped) {
      stopped = true;
      rollout->StopStarting();
    }
  };
  Run(options);
  EXPECT_EQ(EntryOf("DEV0").result, Result::kCompleted);
  EXPECT_EQ(EntryOf("DEV1").result, Result::kCompleted);
  for (int i = 2; i < 6; ++i) {
    EXPECT_EQ(EntryOf("DEV" + std::to_string(i)).result, Result::kNotSent) << i;
    EXPECT_EQ(devices["DEV" + std::to_string(i)].sentAt.count(), -1) << i;
  }
}

}  // namespace
