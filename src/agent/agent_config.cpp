#include "agent/agent_config.h"

#include <fstream>
#include <set>

namespace {

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  const size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

}  // namespace

bool ReadAgentConfig(const std::string& path, AGENT_CONFIG_T* config, std::string* error) {
  static const std::set<std::string> kKeys = {
      "site",          "mqtt",      "ca",    "user",
      "password_file", "interface", "spool", "allow_plaintext_password"};
  std::ifstream in(path);
  if (!in) {
    *error = "cannot read " + path;
    return false;
  }
  AGENT_CONFIG_T parsed;
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    const std::string text = Trim(line);
    if (text.empty() || text.front() == '#') continue;
    const size_t equals = text.find('=');
    if (equals == std::string::npos) {
      *error = path + " line " + std::to_string(number) + ": expected key = value";
      return false;
    }
    const std::string key = Trim(text.substr(0, equals));
    if (!kKeys.count(key)) {
      *error = path + " line " + std::to_string(number) + ": unknown key '" + key + "'";
      return false;
    }
    if (parsed.values.count(key)) {
      *error = path + " line " + std::to_string(number) + ": '" + key + "' given twice";
      return false;
    }
    parsed.values[key] = Trim(text.substr(equals + 1));
  }
  *config = std::move(parsed);
  return true;
}

bool ParseConfigSwitch(const std::string& value, bool* on) {
  static const std::set<std::string> kYes = {"yes", "true", "on", "1"};
  static const std::set<std::string> kNo = {"no", "false", "off", "0"};
  if (kYes.count(value)) {
    *on = true;
    return true;
  }
  if (kNo.count(value)) {
    *on = false;
    return true;
  }
  return false;
}
