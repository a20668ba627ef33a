#include "record/site_operation.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "core/common/mac_text.h"

const char* SiteOperationName(ESiteOperation kind) {
  switch (kind) {
    case ESiteOperation::kSet:
      return "set";
    case ESiteOperation::kReboot:
      return "reboot";
    case ESiteOperation::kReset:
      return "reset";
    case ESiteOperation::kStatic:
      return "static";
    case ESiteOperation::kAssign:
      return "assign";
    case ESiteOperation::kUpgrade:
      return "upgrade";
  }
  return "";
}

std::string SiteOperationParametersJson(const std::map<std::string, std::string>& parameters) {
  nlohmann::json out = nlohmann::json::object();
  for (const auto& [key, value] : parameters) {
    std::string lower = key;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lower.find("password") != std::string::npos || lower.find("secret") != std::string::npos ||
        lower.find("passwd") != std::string::npos)
      continue;
    out[key] = value;
  }
  return out.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string SiteMacText(const std::string& mac) { return DisplayMacText(mac); }
