#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "core/common/device_entry.h"
#include "core/common/discovery_schedule.h"

// Which devices a command over several devices works on, as the options name them: DEVICE
// names (MAC in any spelling or IP), or --all (narrowed by --model, ignoring case).
struct DeviceChoice {
  std::vector<std::string> names;
  bool all = false;
  std::string model;
  int seconds = 6;  // discovery time
  int expect = 0;   // with all: stop discovering once this many are chosen; fewer: send nothing
  // The discovery's regular period after its first seconds (CDiscoverySchedule), as the scan's.
  std::chrono::milliseconds discoveryInterval = CDiscoverySchedule::kPeriod;
};

// A name the choice could not be made for: nobody answers to it, or (ambiguous not empty) it
// is an IP address that more than one MAC answers for, and no password may go to either.
struct UnchosenDevice {
  std::string name;  // "" when every name was found
  std::vector<std::string> ambiguous;
};

// The devices the choice names in the control core's table (all: sorted by IP), and the first
// name that could not be chosen.
void ChooseDevices(const DeviceChoice& choice, std::vector<DEVICE_ENTRY_T>* chosen,
                   UnchosenDevice* unchosen);

// Discovers (CDiscoverySchedule: repeated in the first seconds, then every discoveryInterval) until
// every named device has answered (or `expect` devices are listed) or the time is up, then chooses.
// A name that is an IP address is given kIpSettle after it answered for other devices to answer for
// the same address.
void DiscoverChosen(const DeviceChoice& choice, std::vector<DEVICE_ENTRY_T>* chosen,
                    UnchosenDevice* unchosen);

// With --all and --expect N: fewer than N devices answered by the end of the discovery (every
// device counts, as the discovery counted them, whatever --model chooses). Says so on stderr
// (found and expected, and what answered by model) and returns kExitTooFew: the caller sends
// nothing. kExitOk otherwise.
int CheckExpected(const DeviceChoice& choice);

// Tells on stderr why the device was not chosen; the exit code of a device not found.
int ReportUnchosen(const UnchosenDevice& unchosen);
// "more than one device answers for NAME (MAC, MAC); name the device by its MAC" on stderr.
void ReportAmbiguousDevice(const std::string& name, const std::vector<std::string>& macs);
