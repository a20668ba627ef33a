#include "core/upgrade/upgrade_follower.h"

#include <gtest/gtest.h>

#include <string>

#include "core/control/control.h"

namespace {

DEVICE_ENTRY_T Device(const std::string& mac, const std::string& firmware) {
  DEVICE_ENTRY_T d;
  d.mac = mac;
  d.workMac = mac;
  d.ip = "10.213.1.1";
  d.firmware = firmware;
  return d;
}

using Scope = CUpgradeFollower::BootUpScope;
using State = UpgradeState;

class Follower : public ::testing::Test {
protected:
  Follower() { control.UpdateDevice(Device(kMac, "12.30.1.1")); }
  void SetFirmware(const std::string& firmware) { control.UpdateDevice(Device(kMac, firmware)); }

  static constexpr const char* kMac = "02:1a:2b:00:00:05";
  CControl control;
};

// The device starts on 12.30.1.1. Per case: whose boot-up comes (none; the device's own, after
// which it leaves the table and comes back; another device's), the firmware the table then
// shows, the image's version, and the state the next check ends in. A final state stays.
TEST_F(Follower, TableFirmwareImageVersionAndBootUpDecideTheState) {
  enum class BootUp { kNone, kOwn, kOther };
  struct Case {
    const char* what;
    const char* tableFirmware;
    const char* imageVersion;
    BootUp bootUp;
    State expected;
  } cases[] = {
      {"new version without a boot-up", "12.31.1.1", "12.31.1.1", BootUp::kNone, State::kCompleted},
      {"old version without a boot-up", "12.30.1.1", "12.31.1.1", BootUp::kNone,
       State::kInProgress},
      {"back with the image's version", "12.31.1.1", "12.31.1.1", BootUp::kOwn, State::kCompleted},
      {"back with its old version", "12.30.1.1", "12.31.1.1", BootUp::kOwn, State::kFailed},
      {"another device booted, still old", "12.30.1.1", "12.31.1.1", BootUp::kOther,
       State::kFailed},
      {"another device booted, already on the version", "12.31.1.1", "12.31.1.1", BootUp::kOther,
       State::kCompleted},
      {"an empty version matches an empty firmware text", "", "", BootUp::kNone, State::kCompleted},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetFirmware("12.30.1.1");
    CUpgradeFollower f(control, kMac, "021A2B000005", c.imageVersion, Scope::kAnyDevice);
    unsigned checks = 0;
    if (c.bootUp == BootUp::kOwn) {
      EXPECT_TRUE(f.NoteBootUp(kMac));
      control.RemoveDevice(kMac);                // what the window does with the booted device
      EXPECT_EQ(f.Check(), State::kInProgress);  // not back yet: keep waiting
      ++checks;
    } else if (c.bootUp == BootUp::kOther) {
      control.UpdateDevice(Device("OTHER", "1.0"));
      EXPECT_TRUE(f.NoteBootUp("OTHER"));
    } else {
      EXPECT_EQ(f.Check(), State::kInProgress);  // still on the old firmware
      ++checks;
    }
    SetFirmware(c.tableFirmware);
    EXPECT_EQ(f.Check(), c.expected);
    EXPECT_EQ(f.Ticks(), ++checks);
    if (c.expected != State::kInProgress) {
      SetFirmware("12.29.1.1");
      EXPECT_EQ(f.Check(), c.expected) << "a final state stays";
    }
    control.RemoveDevice("OTHER");
  }
}

TEST_F(Follower, ABootUpKeyedByTheFrameAddressStillTakesTheDeviceOutOfTheTable) {
  // A lower-case MAC without a WorkMAC: the core cannot map the frame's source to the entry and
  // keys the boot-up by the source address in upper case.
  control.UpdateDevice(Device("021a2b000009", "12.30.1.1"));
  CUpgradeFollower f(control, "021a2b000009", "021a2b000009", "12.31.1.1", Scope::kAnyDevice);
  f.OnDeviceBootUp("021A2B000009");
  DEVICE_ENTRY_T found;
  EXPECT_FALSE(control.FindDevice("021a2b000009", &found));
  EXPECT_EQ(f.Check(), State::kInProgress);  // rebooting, not "back with the old firmware"
  control.UpdateDevice(Device("021a2b000009", "12.31.1.1"));
  EXPECT_EQ(f.Check(), State::kCompleted);

  // Another device's boot-up takes only that device out.
  CUpgradeFollower g(control, "021a2b000009", "021a2b000009", "12.31.1.1", Scope::kAnyDevice);
  g.OnDeviceBootUp("021A2B00000A");
  EXPECT_TRUE(control.FindDevice("021a2b000009", &found));
  EXPECT_TRUE(g.BootUpSeen());
}

TEST_F(Follower, ARolloutCountsOnlyTheDevicesOwnBootUpInAnySpelling) {
  CUpgradeFollower f(control, kMac, "061A2B000005", "12.31.1.1", Scope::kThisDevice);
  EXPECT_FALSE(f.NoteBootUp("021A2B000006"));
  EXPECT_FALSE(f.NoteBootUp(""));
  EXPECT_FALSE(f.BootUpSeen());
  EXPECT_EQ(f.Check(), State::kInProgress);
  // A device missing from the table is keyed by its frame's source: the work MAC.
  EXPECT_TRUE(f.NoteBootUp("061A2B000005"));
  EXPECT_TRUE(f.BootUpSeen());
  EXPECT_EQ(f.Check(), State::kFailed);
}

TEST_F(Follower, TimesOutOnTheCheckAfterThe91st) {
  CUpgradeFollower f(control, kMac, "", "12.31.1.1", Scope::kAnyDevice);
  for (unsigned i = 1; i <= CUpgradeFollower::kMaxChecks; ++i)
    ASSERT_EQ(f.Check(), State::kInProgress) << "check " << i;
  EXPECT_EQ(f.Check(), State::kTimedOut);
  EXPECT_EQ(f.Ticks(), 92u);

  // A boot-up whose device never comes back also ends there.
  CUpgradeFollower gone(control, kMac, "", "12.31.1.1", Scope::kAnyDevice);
  gone.NoteBootUp(kMac);
  control.RemoveDevice(kMac);
  for (unsigned i = 1; i <= CUpgradeFollower::kMaxChecks; ++i) gone.Check();
  EXPECT_EQ(gone.Check(), State::kTimedOut);
}

TEST_F(Follower, MatchesTheMacExactly) {
  // Another spelling of the same MAC is another table entry.
  control.UpdateDevice(Device("021A2B000005", "12.31.1.1"));
  CUpgradeFollower f(control, kMac, "", "12.31.1.1", Scope::kAnyDevice);
  EXPECT_FALSE(f.FirmwareMatches());
  EXPECT_EQ(f.Check(), State::kInProgress);
}

}  // namespace
