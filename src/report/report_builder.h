#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/common/device_entry.h"
#include "report/report_model.h"

// Where the report was made: filled in by the front end.
struct REPORT_PLACE_T {
  std::string site;
  std::string adapter;  // interface name
  std::string subnet;   // the adapter's networks, "10.1.0.5/16, ..."
  int64_t since = 0;    // operations from this time on (ms since 1970); 0: all
};

// Reads the site record at dbPath and builds the report: its devices with the live answers
// (CSettingsSurvey) put in, devices of the current table the record lacks (recording was off)
// added, its open problems and the operations of the period. The computer's name, the time and
// the program's version are filled in here. False with the reason in *error when the record
// cannot be read.
bool BuildReport(const std::string& dbPath, const REPORT_PLACE_T& place,
                 const std::vector<DEVICE_ENTRY_T>& table,
                 const std::map<std::string, REPORT_LIVE_T>& live, REPORT_T* report,
                 std::string* error);
