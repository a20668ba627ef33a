#pragma once

#include <string>
#include <vector>

#include "core/upgrade/upgrade_rollout.h"

// The results of a firmware rollout as a CSV file (the batch upgrade window's export): a header
// line, then per device its MAC, IP, model, room, old and new version, result and seconds. Cells
// are quoted as in the device list export (CCsvExport::QuotedCell), lines end in CR LF.
struct RolloutCsvHeader {
  std::vector<std::string> columns = {"MAC Address", "IP Address",  "Model",  "Room Number",
                                      "Old Version", "New Version", "Result", "Seconds"};
};

// resultText names a result in the reader's language; RolloutResultName when empty.
std::string FormatRolloutCsv(const std::vector<RolloutEntry>& entries,
                             const RolloutCsvHeader& header = RolloutCsvHeader(),
                             const std::vector<std::string>& resultTexts = {});
