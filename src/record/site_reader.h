#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "record/site_operation.h"

namespace SQLite {
class Database;
}

// What a site database holds, read back for `history`, `sites` and the report.

struct SITE_DEVICE_ROW_T {
  std::string mac;  // AA:BB:CC:DD:EE:FF
  int64_t firstSeen = 0;
  int64_t lastSeen = 0;
  std::string ip, model, room, firmware, mode, mask, gateway;
};

struct SITE_CHANGE_T {
  int64_t time = 0;
  std::string mac, field, oldValue, newValue;
};

struct SITE_OPERATION_ROW_T {
  int64_t id = 0;
  int64_t time = 0;
  std::string kind, source;
  std::string parameters;  // JSON object
  std::vector<SITE_OPERATION_RESULT_T> results;
};

struct SITE_OPEN_PROBLEM_T {
  std::string mac, code, value;
  int64_t since = 0;
};

class CSiteReader {
public:
  explicit CSiteReader(SQLite::Database& db) : m_db(db) {}

  // Every device, by MAC.
  std::vector<SITE_DEVICE_ROW_T> Devices() const;
  size_t DeviceCount() const;
  // The device's changes, oldest first.
  std::vector<SITE_CHANGE_T> Changes(const std::string& siteMac) const;
  // Operations at or after `since` (ms since 1970), oldest first, each with its results. With a
  // MAC: only the operations that involved it, with its result alone.
  std::vector<SITE_OPERATION_ROW_T> Operations(int64_t since,
                                               const std::string& siteMac = "") const;
  std::vector<SITE_OPEN_PROBLEM_T> OpenProblems() const;
  // The latest time anything was recorded (a device seen, an operation, an event); 0 for none.
  int64_t LastActivity() const;

private:
  SQLite::Database& m_db;
};
