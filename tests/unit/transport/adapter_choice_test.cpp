#include "transport/adapter_choice.h"

#include <gtest/gtest.h>

namespace {

TEST(AdapterChoice, SettingsRules) {
  const std::vector<std::string> adapters = {"eth1", "veth1", "wlan0"};
  struct Case {
    const char* device;
    const char* interfaceSetting;
    const char* adapterName;
    int expected;
  } cases[] = {
      {"eth1", "", "", 0},   // no settings: every adapter with an address
      {"veth1", "", "", 1},  // exact name, not the first name contained in it
      {"wlan0", "", "", 2},
      {"any", "", "", -1},  // capture devices without an adapter are skipped
      {"lo", "All", "", -1},
      {"veth1", "", "eth1", -1},  // AdapterName selects one device...
      {"eth1", "", "eth1", 0},
      {"veth1", "All", "eth1", 1},   // ...unless Interface is "All"
      {"eth1", "all", "veth1", -1},  // "All" is compared exactly
      {"eth1", "", "eth", -1},       // no partial names
  };
  for (const Case& c : cases)
    EXPECT_EQ(PickAdapterIndex(adapters, c.device, c.interfaceSetting, c.adapterName), c.expected)
        << c.device << " / " << c.interfaceSetting << " / " << c.adapterName;
}

}  // namespace
