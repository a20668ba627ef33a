#pragma once

#include <map>
#include <string>
#include <vector>

#include "core/device_entry.h"

// Configuration items as devices report them ("path=value") and the network keys a device is
// written under.

// Key-to-value map of reported items: each item is split at every '=', empty pieces dropped; the
// first piece is the key, the second the value; items with fewer than two pieces are skipped.
// A later item with the same key replaces an earlier one.
std::map<std::string, std::string> ConfigItemsToMap(const std::vector<std::string>& items);

// "Config.Network.LAN.<leaf>" for a device whose MAC text equals its work MAC text (exactly),
// "Config.Network.WLAN.<leaf>" for a device that works over its second interface.
std::string NetworkConfigKey(const DEVICE_ENTRY_T& device, const char* leaf);
