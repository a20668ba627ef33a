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
#include "agent/site_view.h"
#include "cli/agent_options.h"
#include "cli/cli_exit_codes.h"
#include "shell/secure_wipe.h"
#include "shell/terminal_text.h"

namespace {

// The broker sends its retained messages at once; this long without one means it is done.
constexpr auto kQuiet = std::chrono::milliseconds(1000);

// The view, filled on the link's network thread; read once the link has stopped.
class CCollector {
public:
  void OnMessage(const std::string& topic, const std::string& payload) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_last = std::chrono::steady_clock::now();
    m_view.OnMessage(topic, payload);
  }

  std::chrono::steady_clock::time_point Last() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_last;
  }

  // Only after the link's network thread has ended.
  const CSiteView& View() const { return m_view; }

private:
  mutable std::mutex m_lock;
  CSiteView m_view;
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

COUNTS_T CountDevices(const CSiteView::SITE_T& site) {
  COUNTS_T c;
  for (const auto& [mac, kept] : site.devices) {
    const nlohmann::json d = CSiteView::DeviceFields(kept);
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
  SecureWipe(linkOptions.password);  // the link keeps its own copy
  link.SetMessageHandler([&collector](const std::string& topic, const std::string& payload, bool) {
    collector.OnMessage(topic, payload);
  });
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
    if (link.EverRefusedCertificate()) {
      std::cerr << "ipscanner-cli: the broker's certificate was refused ("
                << link.CertificateRefusal() << "): it is not signed by the CA of --ca (or the "
                << "system's CAs), has expired, or is for another host name than "
                << linkOptions.url.host << "\n";
      return kExitCertificateRefused;
    }
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

  const CSiteView& view = collector.View();
  const std::map<std::string, CSiteView::SITE_T>& sites = view.Sites();
  const bool cut = view.LeftOut() > 0;
  if (cut) {
    std::cerr << "ipscanner-cli: the view is cut: " << view.LeftOut()
              << " documents from the broker were left out (it keeps at most "
              << SITE_VIEW_LIMITS_T{}.maxEntries << " sites and devices and "
              << (SITE_VIEW_LIMITS_T{}.maxBytes >> 20) << " MB of their fields)\n";
  }
  if (options.json) {
    nlohmann::json out = nlohmann::json::array();
    for (const auto& [name, site] : sites) {
      const COUNTS_T c = CountDevices(site);
      nlohmann::json entry = {{"site", name},
                              {"state", site.state},
                              {"heartbeat", site.time},
                              {"devices", c.devices},
                              {"online", c.online},
                              {"missing", c.missing},
                              {"with_problems", c.withProblems},
                              {"devices_left_out", site.leftOut},
                              {"view_cut", cut}};
      if (options.devices) {
        nlohmann::json list = nlohmann::json::array();
        for (const auto& [mac, kept] : site.devices) list.push_back(CSiteView::DeviceFields(kept));
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
    std::string devices = std::to_string(c.devices);
    if (site.leftOut > 0) devices += " (+" + std::to_string(site.leftOut) + " not shown)";
    rows.push_back({TerminalSafe(name), TerminalSafe(site.state), devices, std::to_string(c.online),
                    std::to_string(c.missing), std::to_string(c.withProblems),
                    TerminalSafe(site.time)});
  }
  PrintTable(rows);
  if (options.devices) {
    std::vector<std::vector<std::string>> deviceRows = {{"Site", "IP Address", "MAC Address",
                                                         "Model", "Room Number", "Firmware Version",
                                                         "Status"}};
    for (const auto& [name, site] : sites) {
      for (const auto& [mac, kept] : site.devices) {
        const nlohmann::json d = CSiteView::DeviceFields(kept);
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
