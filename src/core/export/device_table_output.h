#pragma once

#include <functional>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "core/common/device_entry.h"

// How the scan prints the discovered devices: an aligned text table (index, IP, MAC, model,
// room number, firmware) or one JSON array of objects.
class CDeviceTableOutput {
public:
  static std::string FormatTable(const std::vector<DEVICE_ENTRY_T>& devices);
  // [{"ip":..,"mac":..,"work_mac":..,"model":..,"room":..,"firmware":..}, ...]; extraFields,
  // when set, adds fields to each device's object.
  using ExtraFields = std::function<void(const DEVICE_ENTRY_T&, nlohmann::json&)>;
  static std::string FormatJson(const std::vector<DEVICE_ENTRY_T>& devices,
                                const ExtraFields& extraFields = {});
  // {"ip":..,"mac":..,"work_mac":..,"model":..,"room":..,"firmware":..}
  static nlohmann::json DeviceJson(const DEVICE_ENTRY_T& device);
};
