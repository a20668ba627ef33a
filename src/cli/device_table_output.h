#pragma once

#include <string>
#include <vector>

#include "core/device_entry.h"

// How the scan prints the discovered devices: an aligned text table (index, IP, MAC, model,
// room number, firmware) or one JSON array of objects.
class CDeviceTableOutput {
public:
  static std::string FormatTable(const std::vector<DEVICE_ENTRY_T>& devices);
  // [{"ip":..,"mac":..,"work_mac":..,"model":..,"room":..,"firmware":..}, ...]
  static std::string FormatJson(const std::vector<DEVICE_ENTRY_T>& devices);
};
