#include "report/report_model.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>

namespace {

// Next chunk of a room text: a run of digits or a run of anything else.
std::string Chunk(const std::string& text, size_t* pos) {
  const size_t start = *pos;
  const bool digits = std::isdigit(static_cast<unsigned char>(text[start])) != 0;
  while (*pos < text.size() &&
         (std::isdigit(static_cast<unsigned char>(text[*pos])) != 0) == digits)
    ++*pos;
  return text.substr(start, *pos - start);
}

}  // namespace

bool RoomBefore(const std::string& a, const std::string& b) {
  if (a.empty() != b.empty()) return b.empty();
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const std::string x = Chunk(a, &i);
    const std::string y = Chunk(b, &j);
    const bool xd = std::isdigit(static_cast<unsigned char>(x[0])) != 0;
    const bool yd = std::isdigit(static_cast<unsigned char>(y[0])) != 0;
    if (xd && yd) {
      // Compared as numbers without converting (a room number may be longer than any integer).
      const std::string xs = x.substr(std::min(x.find_first_not_of('0'), x.size() - 1));
      const std::string ys = y.substr(std::min(y.find_first_not_of('0'), y.size() - 1));
      if (xs.size() != ys.size()) return xs.size() < ys.size();
      if (xs != ys) return xs < ys;
    } else if (x != y) {
      return x < y;
    }
  }
  return a.size() - i < b.size() - j;
}

std::vector<REPORT_DEVICE_T> ReportDevices(const std::vector<SITE_DEVICE_ROW_T>& rows,
                                           const std::map<std::string, REPORT_LIVE_T>& live) {
  std::vector<REPORT_DEVICE_T> devices;
  devices.reserve(rows.size());
  for (const SITE_DEVICE_ROW_T& row : rows) {
    REPORT_DEVICE_T d{row.room, row.ip,   row.mac,     row.model, row.firmware,
                      row.mode, row.mask, row.gateway, false,     row.lastSeen};
    if (const auto it = live.find(row.mac); it != live.end()) {
      d.answered = true;
      if (!it->second.ip.empty()) d.ip = it->second.ip;
      if (!it->second.mode.empty()) d.mode = it->second.mode;
      if (!it->second.mask.empty()) d.mask = it->second.mask;
      if (!it->second.gateway.empty()) d.gateway = it->second.gateway;
    }
    devices.push_back(std::move(d));
  }
  std::stable_sort(devices.begin(), devices.end(),
                   [](const REPORT_DEVICE_T& a, const REPORT_DEVICE_T& b) {
                     if (RoomBefore(a.room, b.room)) return true;
                     if (RoomBefore(b.room, a.room)) return false;
                     return a.room != b.room ? a.room < b.room : a.mac < b.mac;
                   });
  return devices;
}

std::map<std::string, size_t> DevicesPerModel(const std::vector<REPORT_DEVICE_T>& devices) {
  std::map<std::string, size_t> counts;
  for (const REPORT_DEVICE_T& d : devices) ++counts[d.model.empty() ? "unknown" : d.model];
  return counts;
}

std::map<std::string, std::map<std::string, size_t>> FirmwarePerModel(
    const std::vector<REPORT_DEVICE_T>& devices) {
  std::map<std::string, std::map<std::string, size_t>> counts;
  for (const REPORT_DEVICE_T& d : devices)
    ++counts[d.model.empty() ? "unknown" : d.model][d.firmware.empty() ? "unknown" : d.firmware];
  return counts;
}

size_t CountMode(const std::vector<REPORT_DEVICE_T>& devices, const std::string& mode) {
  return static_cast<size_t>(std::count_if(
      devices.begin(), devices.end(), [&](const REPORT_DEVICE_T& d) { return d.mode == mode; }));
}

std::string ReportTimeText(int64_t ms) {
  if (ms == 0) return "";
  const std::time_t t = static_cast<std::time_t>(ms / 1000);
  std::tm local{};
  localtime_r(&t, &local);
  char text[32];
  std::strftime(text, sizeof(text), "%Y-%m-%d %H:%M", &local);
  return text;
}

std::string ReportIsoTime(int64_t ms) {
  if (ms == 0) return "";
  const std::time_t t = static_cast<std::time_t>(ms / 1000);
  std::tm utc{};
  gmtime_r(&t, &utc);
  char text[32];
  std::strftime(text, sizeof(text), "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

int64_t ParseReportDate(const std::string& text) {
  std::tm local{};
  int consumed = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &local.tm_year, &local.tm_mon, &local.tm_mday,
                  &consumed) != 3)
    return -1;
  if (static_cast<size_t>(consumed) != text.size()) {
    int more = 0;
    if (std::sscanf(text.c_str() + consumed, " %2d:%2d%n", &local.tm_hour, &local.tm_min, &more) !=
            2 ||
        static_cast<size_t>(consumed + more) != text.size())
      return -1;
  }
  if (local.tm_mon < 1 || local.tm_mon > 12 || local.tm_mday < 1 || local.tm_mday > 31 ||
      local.tm_hour > 23 || local.tm_min > 59)
    return -1;
  local.tm_year -= 1900;
  local.tm_mon -= 1;
  local.tm_isdst = -1;
  const std::time_t t = std::mktime(&local);
  return t == -1 ? -1 : static_cast<int64_t>(t) * 1000;
}
