#include "report/report_builder.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>
#include <unistd.h>

#include <chrono>
#include <set>

#include "platform/file_version.h"
#include "record/site_database.h"
#include "record/site_operation.h"
#include "record/site_reader.h"

namespace {

std::string ComputerName() {
  char name[256] = {};
  if (gethostname(name, sizeof(name) - 1) != 0) return "";
  return name;
}

}  // namespace

bool BuildReport(const std::string& dbPath, const REPORT_PLACE_T& place,
                 const std::vector<DEVICE_ENTRY_T>& table,
                 const std::map<std::string, REPORT_LIVE_T>& live, REPORT_T* report,
                 std::string* error) {
  auto db = CSiteDatabase::OpenForReading(dbPath, error);
  if (!db) return false;
  try {
    const CSiteReader reader(*db);
    std::vector<SITE_DEVICE_ROW_T> rows = reader.Devices();
    std::set<std::string> known;
    for (const SITE_DEVICE_ROW_T& row : rows) known.insert(row.mac);
    const int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
    for (const DEVICE_ENTRY_T& d : table) {
      const std::string mac = SiteMacText(d.mac);
      if (!known.insert(mac).second) continue;
      SITE_DEVICE_ROW_T row;
      row.mac = mac;
      row.firstSeen = row.lastSeen = now;
      row.ip = d.ip;
      row.model = d.model;
      row.room = d.deviceId;
      row.firmware = d.firmware;
      rows.push_back(std::move(row));
    }
    report->site = place.site;
    report->adapter = place.adapter;
    report->subnet = place.subnet;
    report->since = place.since;
    report->computer = ComputerName();
    report->version = GetCompiledVersionText();
    report->created = now;
    report->devices = ReportDevices(rows, live);
    report->problems = reader.OpenProblems();
    report->operations = reader.Operations(place.since);
    return true;
  } catch (const SQLite::Exception& e) {
    *error = std::string("reading the site record failed: ") + e.what();
    return false;
  }
}
