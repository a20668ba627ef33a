#include "sim_fleet.h"

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>

#include "shell/global_utils.h"

namespace {

const char* FaultName(SimFault fault) {
  switch (fault) {
    case SimFault::kNone:
      return "";
    case SimFault::kDrop:
      return "drop";
    case SimFault::kCorrupt:
      return "corrupt";
    case SimFault::kTruncate:
      return "truncate";
  }
  return "";
}

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

std::string FormatMac(const uint8_t* mac, bool colons, bool lower) {
  char text[20];
  const char* format =
      lower ? (colons ? "%02x:%02x:%02x:%02x:%02x:%02x" : "%02x%02x%02x%02x%02x%02x")
            : (colons ? "%02X:%02X:%02X:%02X:%02X:%02X" : "%02X%02X%02X%02X%02X%02X");
  std::snprintf(text, sizeof(text), format, mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
  return text;
}

}  // namespace

std::vector<SimModel> BuiltinModels() {
  return {{"12", "DS-210 Door Station"},    {"29", "DS-410 Apartment Door Station"},
          {"41", "GS-100 Guard Station"},   {"105", "IM-700 Indoor Monitor"},
          {"110", "IM-720 Indoor Monitor"}, {"131", "IM-350 Audio Indoor Station"}};
}

std::vector<SimModel> ReadModelCatalog(const std::string& path) {
  std::vector<SimModel> models;
  std::ifstream in(path);
  std::string line;
  bool inSection = false;
  while (std::getline(in, line)) {
    line = Trim(line);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      inSection = line == "[ModelName]";
      continue;
    }
    const auto eq = line.find('=');
    if (!inSection || eq == std::string::npos || line.find('=', eq + 1) != std::string::npos)
      continue;
    SimModel model{Trim(line.substr(0, eq)), Trim(line.substr(eq + 1))};
    if (!model.prefix.empty() && !model.name.empty()) models.push_back(model);
  }
  return models;
}

std::vector<SimModel> ParseModelList(const std::string& text) {
  std::vector<SimModel> models;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(',', start);
    if (end == std::string::npos) end = text.size();
    const std::string item = Trim(text.substr(start, end - start));
    if (!item.empty()) {
      const auto eq = item.find('=');
      if (eq == std::string::npos)
        models.push_back({std::to_string(200 + models.size()), item});
      else
        models.push_back({Trim(item.substr(0, eq)), Trim(item.substr(eq + 1))});
    }
    start = end + 1;
  }
  return models;
}

std::vector<SimDevice> MakeFleet(const SimOptions& options) {
  std::mt19937 rng(options.seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const std::vector<SimModel> models = options.models.empty() ? BuiltinModels() : options.models;

  std::vector<SimDevice> fleet;
  fleet.reserve(options.count > 0 ? options.count : 0);
  uint32_t ip = options.baseIp;
  uint64_t macValue = 0;
  for (int i = 0; i < 6; ++i) macValue = macValue << 8 | options.baseMac[i];

  for (int i = 0; i < options.count; ++i) {
    SimDevice d;
    d.index = i;
    // Host addresses only: skip .0 and .255.
    while ((ip & 0xFF) == 0 || (ip & 0xFF) == 0xFF) ++ip;
    const uint64_t mac = macValue + static_cast<uint64_t>(i);
    for (int b = 0; b < 6; ++b) d.mac[b] = static_cast<uint8_t>(mac >> (8 * (5 - b)));

    const bool differ = unit(rng) < options.workMacDifferShare;
    std::copy(d.mac, d.mac + 6, d.workMac);
    if (differ) d.workMac[0] = static_cast<uint8_t>(d.workMac[0] ^ 0x04);  // 02:.. -> 06:..

    // The MAC text comes in the forms devices use; a device that writes separators always
    // sends a WorkMAC too (the program addresses requests by the work MAC text).
    const double form = options.mixedMacForms ? unit(rng) : 0.0;
    const bool colons = form >= 0.6 && form < 0.9;
    const bool lower = (form >= 0.6 && form < 0.8) || form >= 0.9;
    d.macText = FormatMac(d.mac, colons, lower);
    const double workForm = unit(rng);
    if (differ || colons || workForm < 0.5)
      d.workMacText = workForm < 0.75 ? CGlobalUtils::MacBytesToText(d.workMac)
                                      : FormatMac(d.workMac, true, true);

    switch (options.envelope) {
      case SimEnvelope::kBare:
        d.prefixed = false;
        break;
      case SimEnvelope::kPrefixed:
        d.prefixed = true;
        break;
      case SimEnvelope::kMixed:
        d.prefixed = unit(rng) < 0.5;
        break;
    }

    const SimModel& model = models[i % models.size()];
    d.firmware =
        model.prefix + "." + std::to_string(30 + i % 7) + ".1." + std::to_string(1 + i % 9);
    d.model = unit(rng) < options.emptyModelShare ? "" : model.name;
    d.expectedModel = model.name;
    const bool door = model.name.find("Door") != std::string::npos;
    d.type = door ? "DoorStation" : "IndoorUnit";
    char room[32];
    std::snprintf(room, sizeof(room), "%d-%02d%02d", 1 + i / 200, 1 + (i % 200) / 10, 1 + i % 10);
    d.deviceId = room;
    d.deviceName = (door ? "Door " : "Room ") + d.deviceId;

    const double faultRoll = unit(rng);
    if (faultRoll < options.dropShare)
      d.fault = SimFault::kDrop;
    else if (faultRoll < options.dropShare + options.corruptShare)
      d.fault = SimFault::kCorrupt;
    else if (faultRoll < options.dropShare + options.corruptShare + options.truncateShare)
      d.fault = SimFault::kTruncate;
    if (options.keepFirmware.count(i)) d.upgradeFault = SimUpgradeFault::kKeepsFirmware;
    if (options.refuseDownload.count(i)) d.upgradeFault = SimUpgradeFault::kRefusesDownload;
    d.answerDelayMs = options.delayMs + (unit(rng) < options.lateShare ? options.lateMs : 0);

    d.dhcpLease.dhcp = true;
    d.dhcpLease.ip = CGlobalUtils::IpToText(ip);
    d.dhcpLease.gateway = "10.213.0.254";
    d.dhcpLease.netmask = "255.255.0.0";
    d.dhcpLease.primaryDns = "10.213.0.253";
    d.dhcpLease.secondaryDns = "";
    d.network = d.dhcpLease;
    if (unit(rng) < options.staticShare) {
      d.network.dhcp = false;
      d.network.staticIp = d.network.ip;
      d.network.staticGateway = d.network.gateway;
      d.network.staticNetmask = d.network.netmask;
      d.network.staticPrimaryDns = d.network.primaryDns;
      d.network.staticSecondaryDns = "10.213.0.252";
      d.network.secondaryDns = "10.213.0.252";
    }
    d.user = options.user;
    d.password = options.password;
    fleet.push_back(d);
    ++ip;
  }
  return fleet;
}

std::string FleetJson(const std::vector<SimDevice>& devices) {
  nlohmann::json list = nlohmann::json::array();
  for (const SimDevice& d : devices) {
    list.push_back({
        {"index", d.index},
        {"mac", d.macText},
        {"macBytes", CGlobalUtils::MacBytesToText(d.mac)},
        {"workMac", d.workMacText},
        {"workMacBytes", CGlobalUtils::MacBytesToText(d.workMac)},
        {"ip", d.network.ip},
        {"envelope", d.prefixed ? "prefixed" : "bare"},
        {"model", d.model},
        {"expectedModel", d.expectedModel},
        {"firmware", d.firmware},
        {"deviceId", d.deviceId},
        {"deviceName", d.deviceName},
        {"type", d.type},
        {"fault", FaultName(d.fault)},
        {"upgradeFault", d.upgradeFault == SimUpgradeFault::kKeepsFirmware     ? "keeps-firmware"
                         : d.upgradeFault == SimUpgradeFault::kRefusesDownload ? "refuses-download"
                                                                               : "none"},
        {"answerDelayMs", d.answerDelayMs},
        {"dhcp", d.network.dhcp},
        {"gateway", d.network.gateway},
        {"netmask", d.network.netmask},
        {"primaryDns", d.network.primaryDns},
        {"secondaryDns", d.network.secondaryDns},
        {"staticIp", d.network.staticIp},
        {"user", d.user},
        {"password", d.password},
        {"bootCount", d.bootCount},
        {"extraConfig", d.extraConfig},
    });
  }
  return list.dump(1);
}
