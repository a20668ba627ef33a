// "history" and "sites": what the site record holds, read back. Nothing is sent to devices.
#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Statement.h>

#include <algorithm>
#include <iostream>
#include <nlohmann/json.hpp>

#include "cli/cli_exit_codes.h"
#include "cli/cli_site.h"
#include "cli/site_commands_cli.h"
#include "core/common/mac_text.h"
#include "record/site_database.h"
#include "record/site_operation.h"
#include "record/site_paths.h"
#include "record/site_reader.h"
#include "report/report_model.h"
#include "shell/terminal_text.h"

namespace {

constexpr auto kJsonSafe = nlohmann::json::error_handler_t::replace;

// The record's MAC of DEVICE: a MAC in any spelling, or the device last seen on that IP.
std::string FindDeviceMac(SQLite::Database& db, const std::string& device) {
  if (IsMacText(device)) return SiteMacText(device);
  SQLite::Statement query(db,
                          "SELECT mac FROM devices WHERE ip = ? ORDER BY last_seen DESC LIMIT 1");
  query.bind(1, device);
  return query.executeStep() ? query.getColumn(0).getString() : std::string();
}

nlohmann::json ParametersObject(const std::string& json) {
  nlohmann::json parsed = nlohmann::json::parse(json, nullptr, false);
  return parsed.is_object() ? parsed : nlohmann::json::object();
}

}  // namespace

int RunHistory(const HistoryOptions& options) {
  const std::string site = CliSiteName();
  std::string error;
  auto db = CSiteDatabase::OpenForReading(SiteDatabasePath(site), &error);
  if (!db) {
    std::cerr << "ipscanner-cli: " << error << "\n";
    return kExitFileError;
  }
  try {
    const CSiteReader reader(*db);
    const std::string mac = FindDeviceMac(*db, options.device);
    std::vector<SITE_DEVICE_ROW_T> devices = reader.Devices();
    const auto found = std::find_if(devices.begin(), devices.end(),
                                    [&](const SITE_DEVICE_ROW_T& d) { return d.mac == mac; });
    if (mac.empty() || found == devices.end()) {
      std::cerr << "ipscanner-cli: site " << site << " has no record of device "
                << TerminalSafe(options.device) << "\n";
      return kExitDeviceNotFound;
    }
    const SITE_DEVICE_ROW_T& d = *found;
    const std::vector<SITE_CHANGE_T> changes = reader.Changes(mac);
    const std::vector<SITE_OPERATION_ROW_T> operations = reader.Operations(0, mac);
    if (options.json) {
      nlohmann::json out;
      out["site"] = site;
      out["device"] = {{"mac", d.mac},
                       {"room", d.room},
                       {"ip", d.ip},
                       {"model", d.model},
                       {"firmware", d.firmware},
                       {"mode", d.mode},
                       {"mask", d.mask},
                       {"gateway", d.gateway},
                       {"first_seen", ReportIsoTime(d.firstSeen)},
                       {"last_seen", ReportIsoTime(d.lastSeen)}};
      out["changes"] = nlohmann::json::array();
      for (const SITE_CHANGE_T& c : changes)
        out["changes"].push_back({{"time", ReportIsoTime(c.time)},
                                  {"field", c.field},
                                  {"old", c.oldValue},
                                  {"new", c.newValue}});
      out["operations"] = nlohmann::json::array();
      for (const SITE_OPERATION_ROW_T& o : operations) {
        const SITE_OPERATION_RESULT_T r =
            o.results.empty() ? SITE_OPERATION_RESULT_T() : o.results[0];
        out["operations"].push_back({{"time", ReportIsoTime(o.time)},
                                     {"operation", o.kind},
                                     {"source", o.source},
                                     {"parameters", ParametersObject(o.parameters)},
                                     {"result", r.ok ? "ok" : "failed"},
                                     {"detail", r.detail}});
      }
      std::cout << out.dump(2, ' ', true, kJsonSafe) << "\n";
      return kExitOk;
    }
    std::cout << "Device " << d.mac << "  room " << TerminalSafe(d.room) << "  "
              << TerminalSafe(d.model) << "  firmware " << TerminalSafe(d.firmware) << "  IP "
              << TerminalSafe(d.ip) << (d.mode.empty() ? "" : "  " + TerminalSafe(d.mode))
              << "\nFirst seen " << ReportTimeText(d.firstSeen) << ", last seen "
              << ReportTimeText(d.lastSeen) << " (site " << site << ")\n";
    // Changes and operations in one list by time.
    struct Line {
      int64_t time;
      std::string text;
    };
    std::vector<Line> lines;
    for (const SITE_CHANGE_T& c : changes)
      lines.push_back({c.time, "changed " + c.field + ": \"" + TerminalSafe(c.oldValue) +
                                   "\" -> \"" + TerminalSafe(c.newValue) + "\""});
    for (const SITE_OPERATION_ROW_T& o : operations) {
      std::string parameters;
      const nlohmann::json object = ParametersObject(o.parameters);
      for (const auto& [key, value] : object.items())
        parameters += " " + key + "=" +
                      TerminalSafe(value.is_string() ? value.get<std::string>() : value.dump());
      const SITE_OPERATION_RESULT_T r =
          o.results.empty() ? SITE_OPERATION_RESULT_T() : o.results[0];
      lines.push_back({o.time, o.kind + " (" + o.source + ")" + parameters + ": " +
                                   (r.ok ? "ok" : "failed") +
                                   (r.detail.empty() ? "" : ", " + TerminalSafe(r.detail))});
    }
    std::stable_sort(lines.begin(), lines.end(),
                     [](const Line& a, const Line& b) { return a.time < b.time; });
    if (lines.empty()) std::cout << "No change and no operation recorded.\n";
    for (const Line& line : lines)
      std::cout << ReportTimeText(line.time) << "  " << line.text << "\n";
    return kExitOk;
  } catch (const SQLite::Exception& e) {
    std::cerr << "ipscanner-cli: reading the site record failed: " << e.what() << "\n";
    return kExitFileError;
  }
}

int RunSites(bool json) {
  const std::string current = CliSiteName();
  nlohmann::json out = nlohmann::json::array();
  std::vector<std::string> names = ListSiteNames();
  if (!json && names.empty()) std::cout << "No site recorded yet in " << SiteFolder() << "\n";
  if (!json && !names.empty())
    std::cout << "  SITE                 DEVICES  LAST ACTIVITY     FILE\n";
  for (const std::string& name : names) {
    const std::string path = SiteDatabasePath(name);
    std::string error;
    size_t devices = 0;
    int64_t last = 0;
    if (auto db = CSiteDatabase::OpenForReading(path, &error)) {
      try {
        const CSiteReader reader(*db);
        devices = reader.DeviceCount();
        last = reader.LastActivity();
      } catch (const SQLite::Exception& e) {
        error = e.what();
      }
    }
    if (json) {
      out.push_back({{"site", name},
                     {"current", name == current},
                     {"devices", devices},
                     {"last_activity", ReportIsoTime(last)},
                     {"file", path},
                     {"error", error}});
      continue;
    }
    std::string nameCell = name;
    nameCell.resize(std::max<size_t>(nameCell.size(), 20), ' ');
    std::string count = std::to_string(devices);
    count.insert(0, count.size() < 7 ? 7 - count.size() : 0, ' ');
    std::string lastCell = error.empty() ? ReportTimeText(last) : "unreadable";
    lastCell.resize(std::max<size_t>(lastCell.size(), 16), ' ');
    std::cout << (name == current ? "* " : "  ") << nameCell << " " << count << "  " << lastCell
              << "  " << path << "\n";
  }
  if (json) std::cout << out.dump(2, ' ', true, kJsonSafe) << "\n";
  return kExitOk;
}
