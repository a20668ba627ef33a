#include "sim_overrides.h"

#include <cstdio>
#include <tuple>

#include "shell/global_utils.h"

namespace {

bool ParseIndex(const std::string& text, const std::vector<SimDevice>& fleet, int* out) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 9)
    return false;
  *out = std::stoi(text);
  return *out < static_cast<int>(fleet.size());
}

bool ParseMs(const std::string& text, int64_t* out) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 15)
    return false;
  *out = std::stoll(text);
  return true;
}

// "INDEX=VALUE" with an index of the fleet and a non-empty value.
bool SplitAssignment(const std::string& text, const std::vector<SimDevice>& fleet, int* index,
                     std::string* value) {
  const size_t eq = text.find('=');
  if (eq == std::string::npos || !ParseIndex(text.substr(0, eq), fleet, index)) return false;
  *value = text.substr(eq + 1);
  return !value->empty();
}

}  // namespace

bool ApplyOverrides(const SimOverrides& overrides, std::vector<SimDevice>& fleet,
                    std::string* error) {
  int index = 0;
  std::string value;
  for (const std::string& item : overrides.deviceIps) {
    if (!SplitAssignment(item, fleet, &index, &value) || !CGlobalUtils::IsValidIPv4(value)) {
      *error = "--device-ip " + item + ": expected INDEX=IPV4 with an index below the count";
      return false;
    }
    SimDevice& d = fleet[static_cast<size_t>(index)];
    d.dhcpLease.ip = value;
    d.network.ip = value;
    if (!d.network.dhcp) d.network.staticIp = value;
  }
  for (const std::string& item : overrides.deviceRooms) {
    if (!SplitAssignment(item, fleet, &index, &value)) {
      *error = "--device-room " + item + ": expected INDEX=ROOM with an index below the count";
      return false;
    }
    fleet[static_cast<size_t>(index)].deviceId = value;
  }
  for (const std::string& item : overrides.deviceFirmware) {
    if (!SplitAssignment(item, fleet, &index, &value)) {
      *error =
          "--device-firmware " + item + ": expected INDEX=VERSION with an index below the count";
      return false;
    }
    fleet[static_cast<size_t>(index)].firmware = value;
  }
  for (const auto& [items, field, name] :
       {std::tuple{&overrides.loseUpdates, &SimDevice::loseUpdates, "--lose-updates"},
        std::tuple{&overrides.loseDiscoverAnswers, &SimDevice::loseDiscoverAnswers,
                   "--lose-discover-answers"}}) {
    for (const std::string& item : *items) {
      int64_t count = 0;
      if (!SplitAssignment(item, fleet, &index, &value) || !ParseMs(value, &count) ||
          count > 1000000) {
        *error =
            std::string(name) + " " + item + ": expected INDEX=N with an index below the count";
        return false;
      }
      fleet[static_cast<size_t>(index)].*field = static_cast<int>(count);
    }
  }
  for (const std::string& item : overrides.silent) {
    const size_t at = item.find('@');
    const size_t plus = item.find('+', at == std::string::npos ? 0 : at);
    const std::string range = item.substr(0, at);
    const size_t dash = range.find('-');
    int first = 0;
    int last = 0;
    int64_t from = 0;
    int64_t length = 0;
    const bool ok =
        at != std::string::npos && plus != std::string::npos &&
        ParseIndex(range.substr(0, dash), fleet, &first) &&
        (dash == std::string::npos ? (last = first, true)
                                   : ParseIndex(range.substr(dash + 1), fleet, &last)) &&
        first <= last && ParseMs(item.substr(at + 1, plus - at - 1), &from) &&
        ParseMs(item.substr(plus + 1), &length);
    if (!ok) {
      *error = "--silent " + item + ": expected FIRST[-LAST]@FROM_MS+FOR_MS";
      return false;
    }
    for (int i = first; i <= last; ++i)
      fleet[static_cast<size_t>(i)].silentMs.push_back({from, from + length});
  }
  return true;
}
