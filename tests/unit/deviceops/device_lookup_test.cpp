#include "core/device/device_lookup.h"

#include <gtest/gtest.h>

#include "core/common/op_clock.h"
#include "core/control/control.h"
#include "core/control/control_outbound_hooks.h"

namespace {

using namespace std::chrono_literals;

TEST(DeviceLookup, DeviceIsAMacInAnySpellingOrAnIpAddress) {
  const struct {
    const char* text;
    const char* mac;  // null: refused
    const char* ip;
  } cases[] = {
      {"02:1a:2b:3c:4d:5e", "021A2B3C4D5E", ""}, {"02-1A-2B-3C-4D-5E", "021A2B3C4D5E", ""},
      {"021a2b3C4D5E", "021A2B3C4D5E", ""},      {"10.0.0.5", "", "10.0.0.5"},
      {"010.000.0.05", "", "10.0.0.5"},      // canonical: a device may read leading zeros as octal
      {"02:1a:2b:3c:4d", nullptr, nullptr},  // 10 digits
      {"021a2b3c4d5e6f", nullptr, nullptr},  // 14 digits
      {"02:1a:2b:3c:4d:zz", nullptr, nullptr},  // not hexadecimal
      {"10.0.0.256", nullptr, nullptr},          {"", nullptr, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const std::optional<DeviceTarget> target = ParseDeviceTarget(c.text);
    ASSERT_EQ(target.has_value(), c.mac != nullptr);
    if (!target) continue;
    EXPECT_EQ(target->compactMac, c.mac);
    EXPECT_EQ(target->ip, c.ip);
  }
}

TEST(DeviceLookup, DiscoversUntilTheDeviceAnswersAndPrefersItsReportedMac) {
  CControl control;
  int discoveries = 0;
  OutboundHooks hooks;
  hooks.send = [&](const PACKET_RECORD_T*) { ++discoveries; };
  SetOutboundHooks(hooks);
  CManualOpClock clock;
  // A device whose work MAC equals the MAC another device reports; that other one is meant.
  const DEVICE_ENTRY_T second{"10.0.0.6", "02:1a:2b:3c:4d:5f", "021A2B3C4D5E", "M", "1", "1"};
  const DEVICE_ENTRY_T named{"10.0.0.5", "02:1a:2b:3c:4d:5e", "02:1a:2b:3c:4d:5e", "M", "1", "1"};
  clock.SetPauseHook([&](std::chrono::milliseconds now) {
    if (now == 1000ms) control.UpdateDevice(second);
    if (now == 3000ms) control.UpdateDevice(named);
  });
  const DeviceTarget byMac = *ParseDeviceTarget("021a2b3c4d5e");
  // At 1000 ms only the work MAC matches: that counts too.
  EXPECT_EQ(DiscoverTarget(control, clock, byMac, 6000ms), second);
  control.ClearDevices();
  control.UpdateDevice(second);
  control.UpdateDevice(named);
  EXPECT_EQ(DiscoverTarget(control, clock, byMac, 6000ms), named);
  EXPECT_EQ(DiscoverTarget(control, clock, *ParseDeviceTarget("10.0.0.6"), 6000ms), second);

  const std::vector<DEVICE_ENTRY_T> table = control.GetDeviceList();
  EXPECT_EQ(FindDeviceByName(table, "02-1A-2B-3C-4D-5F"), &table[0]);
  EXPECT_EQ(FindDeviceByName(table, "not a device"), nullptr);

  control.ClearDevices();
  clock.SetPauseHook(nullptr);
  discoveries = 0;
  const auto start = clock.Now();
  EXPECT_FALSE(DiscoverTarget(control, clock, byMac, 6000ms).has_value());
  EXPECT_EQ(clock.Now() - start, 6000ms);
  EXPECT_EQ(discoveries, 6);  // at once, then every second until the time is up
  SetOutboundHooks({});
}

// Two MACs answer for one IP address: the lookup refuses and names both, whichever answered
// first; a device with a leading-zero spelling of the address is the same address.
TEST(DeviceLookup, AnIpAddressClaimedByTwoMacsIsRefused) {
  CControl control;
  OutboundHooks hooks;
  hooks.send = [](const PACKET_RECORD_T*) {};
  SetOutboundHooks(hooks);
  CManualOpClock clock;
  const DEVICE_ENTRY_T first{"10.0.0.7", "02:1a:2b:3c:4d:01", "", "M", "1", "1"};
  const DEVICE_ENTRY_T forger{"010.0.0.7", "02:1a:2b:3c:4d:02", "", "M", "1", "1"};
  clock.SetPauseHook([&](std::chrono::milliseconds now) {
    if (now == 200ms) control.UpdateDevice(first);
    if (now == 600ms) control.UpdateDevice(forger);
  });
  std::vector<std::string> ambiguous;
  EXPECT_FALSE(DiscoverTarget(control, clock, *ParseDeviceTarget("10.0.0.7"), 6000ms, &ambiguous));
  EXPECT_EQ(ambiguous, (std::vector<std::string>{first.mac, forger.mac}));

  // One MAC alone (the same device answering twice in other spellings) is no ambiguity.
  control.ClearDevices();
  clock.SetPauseHook(nullptr);
  control.UpdateDevice(first);
  control.UpdateDevice({"10.0.0.7", "02-1A-2B-3C-4D-01", "", "M", "1", "1"});
  ambiguous.clear();
  EXPECT_EQ(DiscoverTarget(control, clock, *ParseDeviceTarget("10.0.0.7"), 6000ms, &ambiguous),
            first);
  EXPECT_TRUE(ambiguous.empty());
  SetOutboundHooks({});
}

}  // namespace
