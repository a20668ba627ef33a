#pragma once

#include <string>
#include <vector>

#include "core/device_entry.h"

// Which devices a command over several devices works on, as the options name them: DEVICE
// names (MAC in any spelling or IP), or --all (narrowed by --model, ignoring case).
struct DeviceChoice {
  std::vector<std::string> names;
  bool all = false;
  std::string model;
  int seconds = 6;  // discovery time
  int expect = 0;   // with all: stop discovering once this many devices are listed
};

// The devices the choice names in the control core's table (all: sorted by IP); "" or the first
// name nobody answers to in *missing.
void ChooseDevices(const DeviceChoice& choice, std::vector<DEVICE_ENTRY_T>* chosen,
                   std::string* missing);

// Discovers as the scan does (every 5 seconds), until every named device has answered (or
// `expect` devices are listed) or the time is up, then chooses.
void DiscoverChosen(const DeviceChoice& choice, std::vector<DEVICE_ENTRY_T>* chosen,
                    std::string* missing);
