#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/batch/settings_survey.h"
#include "record/site_reader.h"

// The commissioning report's content: the site's devices with the settings they reported just
// now, its open problems and the operations of the period. The PDF and the CSV both print it.

// What one device reported when asked for its settings before the report (the settings survey).
using REPORT_LIVE_T = SURVEYED_SETTINGS_T;

struct REPORT_DEVICE_T {
  std::string room, ip, mac, model, firmware, mode, mask, gateway;
  bool answered = false;  // it answered the settings request just now
  int64_t lastSeen = 0;   // ms since 1970
};

struct REPORT_T {
  std::string site, computer, adapter, subnet, version;
  int64_t created = 0;                   // ms since 1970
  int64_t since = 0;                     // start of the period of the operations log; 0: everything
  std::vector<REPORT_DEVICE_T> devices;  // sorted by room
  std::vector<SITE_OPEN_PROBLEM_T> problems;
  std::vector<SITE_OPERATION_ROW_T> operations;
};

// The device rows from the site record, with the fresh settings (by site MAC) where a device
// answered, sorted by room (numbers in a room compared as numbers: 1-2 before 1-10; rooms
// left empty last), then by MAC.
std::vector<REPORT_DEVICE_T> ReportDevices(const std::vector<SITE_DEVICE_ROW_T>& rows,
                                           const std::map<std::string, REPORT_LIVE_T>& live);

// Rooms compared as the report sorts them.
bool RoomBefore(const std::string& a, const std::string& b);

// Devices per model; firmware versions per model with their device counts (model "" counts as
// "unknown"); devices per addressing mode ("dhcp", "static", "" when not known).
std::map<std::string, size_t> DevicesPerModel(const std::vector<REPORT_DEVICE_T>& devices);
std::map<std::string, std::map<std::string, size_t>> FirmwarePerModel(
    const std::vector<REPORT_DEVICE_T>& devices);
size_t CountMode(const std::vector<REPORT_DEVICE_T>& devices, const std::string& mode);

// "2026-12-10 18:30" in local time; "" for 0.
std::string ReportTimeText(int64_t ms);
// "2026-12-10T18:30:05Z"; "" for 0.
std::string ReportIsoTime(int64_t ms);
// "2026-12-10" or "2026-12-10 08:00" (local time) as ms since 1970; -1 when it is neither.
int64_t ParseReportDate(const std::string& text);
