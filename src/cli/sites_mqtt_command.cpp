// ipscanner-cli sites --mqtt URL: the central view. Subscribes to every site's retained status
// and device documents on the broker, collects them until the broker has sent what it holds,
// and lists each site with its state and device counts (and, with --devices, every device).
// Everything read from the broker is untrusted: bounded, parsed without exceptions, escaped on
// a terminal.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <iostream>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "agent/agent_topics.h"
#include "agent/mqtt_link.h"
#include "cli/agent_options.h"
#include "cli/cli_exit_codes.h"
#include "shell/terminal_text.h"

namespace {

constexpr size_t kMaxPayload = 64 * 1024;
constexpr size_t kMaxDocuments = 1000000;
// The broker sends its retained messages at once; this long without one means it is done.
constexpr auto kQuiet = std::chrono::milliseconds(1000);

struct SITE_T {
  nlohmann::json status;                          // null until a status arrives
  std::map<std::string, nlohmann::json> devices;  // by the topic's MAC level
};

class CCollector {
public:
  void OnMessage(const std::string& topic, const std::string& payload) {
    if (payload.size() > kMaxPayload) return;
    // ipscanner/<site>/status or ipscanner/<site>/devices/<MAC>
    const std::string root = std::string(kTopicRoot) + "/";
    if (topic.rfind(root, 0) != 0) return;
    const std::string rest = topic.substr(root.size());
    const size_t slash = rest.find('/');
    if (slash == std::string::npos) return;
    const std::string site = rest.substr(0, slash);
    const std::string kind = rest.substr(slash + 1);
    std::string reason;
    if (!IsValidSiteName(site, &reason)) return;
    nlohmann::json document = nlohmann::json::parse(payload, nullptr, false);
    std::lock_guard<std::mutex> guard(m_lock);
    m_last = std::chrono::steady_clock::now();
    if (kind == "status") {
      if (document.is_object()) m_sites[site].status = std::move(document);
    } else if (kind.rfind("devices/", 0) == 0) {
      const std::string mac = kind.substr(8);
      if (mac.empty() || mac.find('/') != std::string::npos) return;
      if (payload.empty()) {  // a retained document cleared
        m_sites[site].devices.erase(mac);
      } else if (document.is_object() && m_count < kMaxDocuments) {
        if (m_sites[site].devices.emplace(mac, std::move(document)).second) ++m_count;
      }
    }
  }

  std::chrono::steady_clock::time_point Last() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_last;
  }

  std::map<std::string, SITE_T> Sites() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_sites;
  }

private:
  mutable std::mutex m_lock;
  std::map<std::string, SITE_T> m_sites;
  size_t m_count = 0;
  std::chrono::steady_clock::time_point m_last{};
};

std::string Text(const nlohmann::json& object, const char* key) {
  if (!object.is_object()) return "";
  const auto it = object.find(key);
  if (it == object.end()) return "";
  if (it->is_string()) return it->get<std::string>();
  if (it->is_number() || it->is_boolean()) return it->dump();
  return "";
}

struct COUNTS_T {
  size_t devices = 0, online = 0, missing = 0, withProblems = 0;
};

COUNTS_T CountDevices(const SITE_T& site) {
  COUNTS_T c;
  for (const auto& [mac, d] : site.devices) {
    ++c.devices;
    const std::string status = Text(d, "status");
    if (status == "online" || status == "back") ++c.online;
    if (status == "missing") ++c.missing;
    const auto problems = d.find("problems");
    if (problems != d.end() && problems->is_array() && !problems->empty()) ++c.withProblems;
  }
  return c;
}

void PrintTable(const std::vector<std::vector<std::string>>& rows) {
  std::vector<size_t> widths;
  for (const auto& row : rows) {
    widths.resize(std::max(widths.size(), row.size()));
    for (size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
  }
  for (const auto& row : rows) {
    std::string line;
    for (size_t c = 0; c < row.size(); ++c) {
      line += row[c];
      if (c + 1 < row.size()) line.append(widths[c] - row[c].size() + 2, ' ');
    }
    std::cout << line << "\n";
  }
}

}  // namespace

int RunSitesMqtt(const SitesMqttOptions& options) {
  MQTT_LINK_OPTIONS_T linkOptions;
  if (const int code = MakeMqttLinkOptions(options.mqtt, &linkOptions); code != kExitOk) {
    return code;
  }
  linkOptions.clientId = "ipscanner-sites-" + std::to_string(getpid());
  CCollector collector;
  CMqttLink link(linkOptions);
  link.SetMessageHandler([&collector](const std::string& topic, const std::string& payload,
                                      bool) { collector.OnMessage(topic, payload); });
  link.AddSubscription(std::string(kTopicRoot) + "/+/status", 1);
  link.AddSubscription(std::string(kTopicRoot) + "/+/devices/+", 1);
  std::string error;
  if (!link.Start(&error)) {
    std::cerr << "ipscanner-cli: " << error << "\n";
    return kExitFileError;
  }
  const auto start = std::chrono::steady_clock::now();
  const auto end = start + std::chrono::seconds(options.waitSeconds);
  while (!link.Connected() && std::chrono::steady_clock::now() < end) {
    if (link.EverRefused()) {
      std::cerr << "ipscanner-cli: the broker refused the connection: " << link.LastRefusal()
                << "\n";
      return kExitAuthFailed;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (!link.Connected()) {
    std::cerr << "ipscanner-cli: cannot reach the broker at " << options.mqtt.url << "\n";
    return kExitNoAnswer;
  }
  const auto connectedAt = std::chrono::steady_clock::now();
  while (std::chrono::steady_clock::now() < end) {
    const auto last = std::max(collector.Last(), connectedAt);
    if (std::chrono::steady_clock::now() - last >= kQuiet) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  link.Disconnect();

  const std::map<std::string, SITE_T> sites = collector.Sites();
  if (options.json) {
    nlohmann::json out = nlohmann::json::array();
    for (const auto& [name, site] : sites) {
      const COUNTS_T c = CountDevices(site);
      nlohmann::json entry = {{"site", name},
                              {"state", Text(site.status, "state")},
                              {"heartbeat", Text(site.status, "time")},
                              {"devices", c.devices},
                              {"online", c.online},
                              {"missing", c.missing},
                              {"with_problems", c.withProblems}};
      if (options.devices) {
        nlohmann::json list = nlohmann::json::array();
        for (const auto& [mac, d] : site.devices) list.push_back(d);
        entry["device_list"] = std::move(list);
      }
      out.push_back(std::move(entry));
    }
    std::cout << out.dump(2, ' ', true, nlohmann::json::error_handler_t::replace) << "\n";
    return kExitOk;
  }
  std::vector<std::vector<std::string>> rows = {
      {"Site", "Status", "Devices", "Online", "Missing", "Problems", "Heartbeat"}};
  for (const auto& [name, site] : sites) {
    const COUNTS_T c = CountDevices(site);
    rows.push_back({TerminalSafe(name), TerminalSafe(Text(site.status, "state")),
                    std::to_string(c.devices), std::to_string(c.online),
                    std::to_string(c.missing), std::to_string(c.withProblems),
                    TerminalSafe(Text(site.status, "time"))});
  }
  PrintTable(rows);
  if (options.devices) {
    std::vector<std::vector<std::string>> deviceRows = {
        {"Site", "IP Address", "MAC Address", "Model", "Room Number", "Firmware Version", "Status"}};
    for (const auto& [name, site] : sites) {
      for (const auto& [mac, d] : site.devices) {
        deviceRows.push_back({TerminalSafe(name), TerminalSafe(Text(d, "ip")),
                              TerminalSafe(Text(d, "mac")), TerminalSafe(Text(d, "model")),
                              TerminalSafe(Text(d, "room")), TerminalSafe(Text(d, "firmware")),
                              TerminalSafe(Text(d, "status"))});
      }
    }
    std::cout << "\n";
    PrintTable(deviceRows);
  }
  std::cerr << "ipscanner-cli: " << sites.size() << " sites\n";
  return kExitOk;
}
