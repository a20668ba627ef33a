#pragma once

#include <string>
#include <vector>

#include "core/device_entry.h"

// Finds the device a user named on the command line: a MAC in any spelling (upper or lower case,
// with ':' or '-' or without separators; the MAC or the work MAC) or an IPv4 address. Null when
// no device of the list matches.
const DEVICE_ENTRY_T* FindDeviceByName(const std::vector<DEVICE_ENTRY_T>& devices,
                                       const std::string& name);
