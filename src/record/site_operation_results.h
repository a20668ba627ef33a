#pragma once

#include <map>
#include <string>
#include <vector>

#include "record/site_operation.h"

struct AssignOutcome;
struct BatchRebootRow;
struct BatchStaticRow;
struct RolloutEntry;

// The site record's view of a finished run: one result per device, in the run's order. Both
// front ends build their operations here, so that the window and the command line record a run
// alike. `source` is "cli" or "window".

// One device, one result (set, reboot, reset from the device view or a device command).
SITE_OPERATION_T DeviceOperation(ESiteOperation kind, const std::string& mac, bool ok,
                                 std::string detail, std::string source,
                                 std::map<std::string, std::string> parameters = {});
SITE_OPERATION_T StaticOperation(const std::vector<BatchStaticRow>& rows, std::string source,
                                 std::map<std::string, std::string> parameters = {});
// parameters: image, version, parallel.
SITE_OPERATION_T UpgradeOperation(const std::vector<RolloutEntry>& entries, std::string source,
                                  std::map<std::string, std::string> parameters);
// Each device's planned address is its parameter in the detail ("10.0.0.5/24 via 10.0.0.1").
SITE_OPERATION_T AssignOperation(const std::vector<AssignOutcome>& outcomes, std::string source,
                                 std::map<std::string, std::string> parameters);
SITE_OPERATION_T BatchRebootOperation(const std::vector<BatchRebootRow>& rows, std::string source,
                                      std::map<std::string, std::string> parameters);
