#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

// The simulated fleet: what each device is (addresses, identity texts, model, firmware) and the
// state it keeps (addressing, credentials, reboots). Built deterministically from the options.

enum class SimEnvelope { kBare, kPrefixed, kMixed };

// A firmware prefix and the model name the program's catalog gives it.
struct SimModel {
  std::string prefix;  // e.g. "105"
  std::string name;    // e.g. "IM-700 Indoor Monitor"
};

// What a device does wrong with every answer it sends (chosen per device, so a test can tell
// from the fleet which devices the program must miss).
enum class SimFault { kNone, kDrop, kCorrupt, kTruncate };

// What a device does wrong with a firmware upgrade.
enum class SimUpgradeFault {
  kNone,
  kKeepsFirmware,    // downloads, reboots and announces it, but still runs its old firmware
  kRefusesDownload,  // answers UpgradeSend with "Failed" and fetches nothing
};

struct SimOptions {
  int count = 10;
  uint32_t baseIp = 0x0AD50164;  // 10.213.1.100, host order
  uint8_t baseMac[6] = {0x02, 0x1A, 0x2B, 0x00, 0x00, 0x01};
  SimEnvelope envelope = SimEnvelope::kMixed;
  double workMacDifferShare = 0.2;
  double emptyModelShare = 0.2;
  double staticShare = 0.3;
  bool mixedMacForms = true;     // false: every MAC text upper case without separators
  std::vector<SimModel> models;  // empty: the built-in catalog
  std::string user = "admin";
  std::string password = "admin";
  int delayMs = 0;
  int lateMs = 0;
  double lateShare = 0.0;
  double dropShare = 0.0;
  double corruptShare = 0.0;
  double truncateShare = 0.0;
  int rebootMs = 3000;
  std::set<int> keepFirmware;    // device indexes with SimUpgradeFault::kKeepsFirmware
  std::set<int> refuseDownload;  // device indexes with SimUpgradeFault::kRefusesDownload
  uint32_t seed = 1;
  int muteConfigCount = 0;  // devices that never answer a configuration request
  // Update faults of every device: a non-empty updateResult is the Result of every UpdateConfig
  // acknowledge and the change is not applied; ignoreUpdates leaves updates unanswered and
  // unapplied.
  std::string updateResult;
  bool ignoreUpdates = false;
};

// Addressing of the device's one network interface.
struct SimNetwork {
  bool dhcp = true;
  std::string ip, gateway, netmask, primaryDns, secondaryDns;  // in use now
  std::string staticIp, staticGateway, staticNetmask, staticPrimaryDns, staticSecondaryDns;
};

struct SimDevice {
  int index = 0;
  uint8_t mac[6] = {};
  uint8_t workMac[6] = {};    // the address its frames come from and requests go to
  std::string macText;        // MAC as the device writes it (several forms)
  std::string workMacText;    // WorkMAC element; may be empty when equal to the MAC
  bool prefixed = false;      // envelope of its answers
  std::string model;          // Model element; empty for some
  std::string expectedModel;  // what the program should show (model, else catalog name)
  std::string firmware;
  std::string deviceId;  // room number
  std::string deviceName;
  std::string type;
  SimFault fault = SimFault::kNone;
  SimUpgradeFault upgradeFault = SimUpgradeFault::kNone;
  int answerDelayMs = 0;    // base delay plus the late delay for late devices
  bool muteConfig = false;  // answers everything but configuration requests
  // Deterministic loss for tests: this many of the first updates to the device are lost on the
  // way, and this many of its first discovery answers.
  int loseUpdates = 0;
  int loseDiscoverAnswers = 0;

  SimNetwork network;
  SimNetwork dhcpLease;  // what DHCP gives it (its first addresses)
  std::string user;
  std::string password;
  std::map<std::string, std::string> extraConfig;  // other paths written by UpdateConfig
  int64_t offlineUntilMs = 0;                      // rebooting until then: answers nothing
  int bootCount = 0;
  // Times (ms since devsim started, [from, until)) in which it answers nothing, as a device
  // whose cable is pulled.
  std::vector<std::pair<int64_t, int64_t>> silentMs;

  // Rebooting or in a silent time: it takes no frame and sends nothing.
  bool QuietAt(int64_t nowMs) const {
    if (offlineUntilMs > nowMs) return true;
    for (const auto& [from, until] : silentMs) {
      if (nowMs >= from && nowMs < until) return true;
    }
    return false;
  }

  // Key text of its envelope: the MAC text as it reports it.
  const std::string& KeyText() const { return macText; }
};

std::vector<SimModel> BuiltinModels();
// Reads "prefix=Model" lines of the [ModelName] section of a catalog file; empty on failure.
std::vector<SimModel> ReadModelCatalog(const std::string& path);
// "12=DS-210 Door Station,105=IM-700 Indoor Monitor"; a name without "prefix=" gets a prefix.
std::vector<SimModel> ParseModelList(const std::string& text);

std::vector<SimDevice> MakeFleet(const SimOptions& options);

// Mutes configuration requests on `count` devices spread evenly over the fleet (the first one
// included), without touching the fleet's random choices.
void MuteConfigRequests(std::vector<SimDevice>& fleet, int count);

// The fleet as JSON (one object per device), for tests that compare with what the program shows.
std::string FleetJson(const std::vector<SimDevice>& devices);
