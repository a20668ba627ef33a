#pragma once

#include <string>

// One discovered device as the control core keeps it. All texts UTF-8.
struct DEVICE_ENTRY_T {
  std::string ip;        // IPv4 text from the discovery answer
  std::string mac;       // MAC text exactly as the device sent it; the entry's key
  std::string workMac;   // WorkMAC without ':' and upper-cased, or the MAC text when empty
  std::string model;     // Model, or the catalog's model for the firmware prefix
  std::string deviceId;  // room number (DeviceID)
  std::string firmware;  // FW

  bool operator==(const DEVICE_ENTRY_T&) const = default;
};
