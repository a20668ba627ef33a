#pragma once

#include <string>
#include <vector>

#include "sim_fleet.h"

// Per-device changes to a generated fleet, for tests of site problems and of devices that go
// quiet:
//   --device-ip INDEX=IPV4      the device uses this address (a duplicate, or another network)
//   --device-room INDEX=ROOM    the device reports this room number
//   --device-firmware INDEX=VER the device runs this firmware (another model family, say)
//   --silent FIRST[-LAST]@FROM_MS+FOR_MS
//                               the devices answer nothing from FROM_MS after the start of
//                               devsim for FOR_MS, then answer again
//   --lose-updates INDEX=N      the first N updates to the device are lost on the way
//   --lose-discover-answers INDEX=N
//                               the device's first N discovery answers are lost on the way
struct SimOverrides {
  std::vector<std::string> deviceIps;
  std::vector<std::string> deviceRooms;
  std::vector<std::string> deviceFirmware;
  std::vector<std::string> silent;
  std::vector<std::string> loseUpdates;
  std::vector<std::string> loseDiscoverAnswers;
};

// Applies the overrides; false with the reason in *error for a malformed one or an index
// outside the fleet.
bool ApplyOverrides(const SimOverrides& overrides, std::vector<SimDevice>& fleet,
                    std::string* error);
