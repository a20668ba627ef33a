#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// An operation run on devices from either front end, as the site record keeps it. Parameters are
// what the installer chose (addresses, image name, parallel count); a password never is one, and
// a parameter whose name speaks of a password or secret is dropped before it is written.
enum class ESiteOperation { kSet, kReboot, kReset, kStatic, kAssign, kUpgrade };

struct SITE_OPERATION_RESULT_T {
  std::string mac;  // the device's MAC in any spelling (stored as AA:BB:CC:DD:EE:FF)
  bool ok = false;
  std::string detail;  // why it failed, or what it ended with (a firmware version)
};

struct SITE_OPERATION_T {
  ESiteOperation kind = ESiteOperation::kSet;
  std::string source;  // "cli" or "window"
  std::map<std::string, std::string> parameters;
  std::vector<SITE_OPERATION_RESULT_T> results;
  int64_t time = 0;  // ms since 1970; 0: when it is recorded
};

// "set", "reboot", "reset", "static", "assign", "upgrade".
const char* SiteOperationName(ESiteOperation kind);
// The parameters as one JSON object, without any password-like key.
std::string SiteOperationParametersJson(const std::map<std::string, std::string>& parameters);

// The one spelling of a MAC in the site record, in every table: DisplayMacText, so
// "AA:BB:CC:DD:EE:FF" when the text is a MAC in any spelling, otherwise the text as it is.
std::string SiteMacText(const std::string& mac);
