#pragma once

#include <string>
#include <vector>

#include "core/device_entry.h"

// How a command names a device on its command line: by its MAC in any spelling (upper or lower
// case, with ':' or '-' or '.' between the digits or none) or by its IPv4 address.

// The MAC text without separators, upper-cased ("02:1a:2b:00:00:01" -> "021A2B000001").
std::string CompactMac(const std::string& mac);
// Whether `wanted` names `device`: its MAC (any spelling) or its IP address exactly.
bool DeviceNamedBy(const DEVICE_ENTRY_T& device, const std::string& wanted);
// The first device of the table (in table order) that `wanted` names; false when none does.
bool FindNamedDevice(const std::vector<DEVICE_ENTRY_T>& table, const std::string& wanted,
                     DEVICE_ENTRY_T* out);
