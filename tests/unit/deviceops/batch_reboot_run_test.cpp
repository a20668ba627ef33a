#include "core/batch/batch_reboot_run.h"

#include <gtest/gtest.h>

#include <map>

#include "core/common/op_clock.h"
#include "core/control/control.h"
#include "core/device/authenticate_dispatcher.h"

namespace {

using namespace std::chrono_literals;
using State = BatchRebootRow::State;
using device_ops::AuthOutcome;

// How a device takes the reboot, on the run's clock: after 2 s it sends its boot-up (or, for a
// device that sends none, leaves the table and answers again 4 s later).
enum class Device { kBootsUp, kAnswersAgain, kStaysDown, kRefuses, kSilent };

TEST(BatchReboot, EachDeviceEndsByWhatItDidAndTheCredentialGoesToEveryOne) {
  CControl control;
  CAuthenticateDispatcher waits(control);
  CManualOpClock clock;
  const std::map<std::string, Device> fleet = {
      {"A", Device::kBootsUp}, {"B", Device::kAnswersAgain}, {"C", Device::kStaysDown},
      {"D", Device::kRefuses}, {"E", Device::kSilent},       {"F", Device::kBootsUp}};
  std::vector<DEVICE_ENTRY_T> devices;
  for (const auto& [mac, kind] : fleet) {
    DEVICE_ENTRY_T d{"10.213.1.1", mac, "06" + mac, "M", "1-01", "1.0"};
    control.UpdateDevice(d);
    devices.push_back(d);
  }
  CBatchRebootRun run(control, waits, clock, devices);
  std::vector<std::string> credentials;
  std::map<std::string, std::chrono::milliseconds> rebootedAt;
  run.authenticate = [&](const DEVICE_ENTRY_T& d, const std::string& user,
                         const std::string& password) {
    credentials.push_back(d.mac + ":" + user + "/" + password);
    const Device kind = fleet.at(d.mac);
    return kind == Device::kRefuses  ? AuthOutcome::kRefused
           : kind == Device::kSilent ? AuthOutcome::kNoAnswer
                                     : AuthOutcome::kAccepted;
  };
  run.reboot = [&](const DEVICE_ENTRY_T& d) {
    rebootedAt[d.mac] = clock.Now();
    return true;
  };
  run.discover = [] {};
  clock.SetPauseHook([&](std::chrono::milliseconds now) {
    for (const auto& [mac, at] : rebootedAt) {
      const Device kind = fleet.at(mac);
      if (now == at + 2s && kind == Device::kBootsUp) run.OnDeviceBootUp("06" + mac);
      if (now == at + 2s && kind == Device::kAnswersAgain) control.RemoveDevice(mac);
      if (now == at + 6s && kind == Device::kAnswersAgain)
        control.UpdateDevice({"10.213.1.1", mac, "06" + mac, "M", "1-01", "1.0"});
    }
  });
  std::vector<std::string> changes;
  run.changed = [&](size_t, const BatchRebootRow& row) {
    changes.push_back(row.device.mac + " " + BatchRebootStateName(row.state));
  };
  run.Run("admin", "secret");

  EXPECT_EQ(credentials.size(), 6u);
  for (const std::string& c : credentials) EXPECT_NE(c.find(":admin/secret"), std::string::npos);
  const std::map<std::string, State> expected = {{"A", State::kRebooted}, {"B", State::kRebooted},
                                                 {"C", State::kNoBootUp}, {"D", State::kRefused},
                                                 {"E", State::kNoAnswer}, {"F", State::kRebooted}};
  for (const BatchRebootRow& row : run.Rows())
    EXPECT_EQ(row.state, expected.at(row.device.mac)) << row.device.mac;
  EXPECT_EQ(rebootedAt.count("D") + rebootedAt.count("E"), 0u);  // refused: nothing more sent
  EXPECT_EQ(run.Rows()[2].elapsed, CBatchRebootRun::kBootUpWait);
  // A device's boot-up takes it out of the table until it answers again.
  DEVICE_ENTRY_T found;
  EXPECT_FALSE(control.FindDevice("A", &found));
  EXPECT_EQ(changes.front(), "A authenticating");
}

TEST(BatchReboot, StopLeavesTheRemainingDevicesUnsent) {
  CControl control;
  CAuthenticateDispatcher waits(control);
  CManualOpClock clock;
  CBatchRebootRun run(
      control, waits, clock,
      {{"10.213.1.1", "A", "A", "M", "1", "1.0"}, {"10.213.1.2", "B", "B", "M", "2", "1.0"}});
  run.authenticate = [&](const DEVICE_ENTRY_T&, const std::string&, const std::string&) {
    run.StopStarting();  // the installer stops while the first device is asked
    return AuthOutcome::kAccepted;
  };
  run.reboot = [](const DEVICE_ENTRY_T&) { return true; };
  run.discover = [] {};
  clock.SetPauseHook([&](std::chrono::milliseconds) { run.OnDeviceBootUp("A"); });
  run.Run("admin", "secret");
  EXPECT_EQ(run.Rows()[0].state, State::kRebooted);
  EXPECT_EQ(run.Rows()[1].state, State::kNotSent);
}

}  // namespace

namespace {

// A wrong credential on a batch: after the first devices refused it and none accepted, the
// others get no authenticate request (devices may lock the account) and nothing is rebooted.
TEST(BatchReboot, ACredentialTheFirstDevicesRefuseIsNotTriedOnTheRest) {
  struct Case {
    const char* name;
    std::vector<AuthOutcome> answers;  // per device, in order; the rest like the last
    size_t devices;
    size_t authenticated;
    bool credentialRefused;
  } cases[] = {
      {"all refuse", {AuthOutcome::kRefused}, 10, CCredentialGate::kProbeDevices, true},
      {"two refuse, one silent, then refusals",
       {AuthOutcome::kRefused, AuthOutcome::kNoAnswer, AuthOutcome::kRefused,
        AuthOutcome::kRefused},
       10,
       4,
       true},
      {"a small batch that all refuse", {AuthOutcome::kRefused}, 2, 2, true},
      {"the second accepts",
       {AuthOutcome::kRefused, AuthOutcome::kAccepted, AuthOutcome::kRefused},
       8,
       8,
       false},
  };
  for (const Case& c : cases) {
    CControl control;
    CAuthenticateDispatcher waits(control);
    CManualOpClock clock;
    std::vector<DEVICE_ENTRY_T> devices;
    for (size_t i = 0; i < c.devices; ++i)
      devices.push_back({"10.213.1.1", "M" + std::to_string(i), "06", "M", "1-01", "1.0"});
    CBatchRebootRun run(control, waits, clock, devices);
    size_t authenticated = 0, rebooted = 0;
    run.authenticate = [&](const DEVICE_ENTRY_T&, const std::string&, const std::string&) {
      return c.answers[std::min(authenticated++, c.answers.size() - 1)];
    };
    run.reboot = [&](const DEVICE_ENTRY_T&) {
      ++rebooted;
      return true;
    };
    run.discover = [] {};
    // Accepted devices send their boot-up at once, so the run ends quickly.
    clock.SetPauseHook([&](std::chrono::milliseconds) {
      for (const BatchRebootRow& row : run.Rows())
        if (row.state == State::kRebooting) run.OnDeviceBootUp(row.device.mac);
    });
    run.Run("admin", "wrong");

    EXPECT_EQ(authenticated, c.authenticated) << c.name;
    EXPECT_EQ(run.CredentialRefused(), c.credentialRefused) << c.name;
    if (c.credentialRefused) EXPECT_EQ(rebooted, 0u) << c.name;
    for (size_t i = c.authenticated; i < c.devices; ++i)
      EXPECT_EQ(run.Rows()[i].state, State::kNotTried) << c.name << " " << i;
    for (size_t i = 0; i < c.authenticated; ++i)
      EXPECT_NE(run.Rows()[i].state, State::kNotTried) << c.name << " " << i;
  }
}

}  // namespace
