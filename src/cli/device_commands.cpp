// show, set, reboot and reset: one device, through the same operations as the device view, with
// its checks and texts. The password never appears on the command line, in the output or in the
// log.
#include "cli/device_commands.h"

#include <iostream>
#include <nlohmann/json.hpp>

#include "cli/cli_credentials.h"
#include "cli/cli_exit_codes.h"
#include "cli/cli_session.h"
#include "cli/cli_site.h"
#include "cli/device_choice.h"
#include "core/common/op_clock.h"
#include "core/control/control.h"
#include "core/device/authenticate_dispatcher.h"
#include "core/device/device_config_keys.h"
#include "core/device/device_lookup.h"
#include "core/device/device_operations.h"
#include "core/device/network_input_check.h"
#include "shell/terminal_text.h"

namespace {

constexpr auto kReportWait = std::chrono::milliseconds(5000);
constexpr const char* kLogName = "ipscanner-cli";

void Fail(const std::string& text) { std::cerr << "ipscanner-cli: " << text << "\n"; }

std::string Describe(const DEVICE_ENTRY_T& d) {
  return TerminalSafe(d.mac) + " (" + TerminalSafe(d.ip) + ")";
}

// DEVICE as given, checked before anything else happens.
int ParseTarget(const DeviceCommandOptions& options, DeviceTarget* target) {
  const std::optional<DeviceTarget> parsed = ParseDeviceTarget(options.device);
  if (!parsed) {
    Fail(
        "DEVICE must be a MAC address (12 hexadecimal digits, ':' or '-' allowed) or an IPv4 "
        "address, got \"" +
        TerminalSafe(options.device) + "\"");
    return kExitBadInput;
  }
  *target = *parsed;
  return kExitOk;
}

// A session on the adapter and the named device found on it; otherwise the exit code.
int OpenAndFind(CCliSession& session, const DeviceCommandOptions& options,
                const DeviceTarget& target, DEVICE_ENTRY_T* device) {
  const int opened = session.Open(options.interfaceName);
  if (opened != kExitOk) return opened;
  std::vector<std::string> ambiguous;
  const std::optional<DEVICE_ENTRY_T> found =
      DiscoverTarget(*CControl::GetInstance(), SteadyOpClock(), target,
                     std::chrono::seconds(options.seconds), &ambiguous);
  if (!found && !ambiguous.empty()) {
    ReportAmbiguousDevice(options.device, ambiguous);
    return kExitDeviceNotFound;
  }
  if (!found) {
    Fail("device " + TerminalSafe(options.device) + " did not answer the discovery within " +
         std::to_string(options.seconds) + " s");
    return kExitDeviceNotFound;
  }
  *device = *found;
  return kExitOk;
}

// The user and password, refused when either is empty (before anything is sent).
int ReadCredentials(const DeviceCommandOptions& options, std::string* password) {
  const int read = ReadDevicePassword(options.passwordFile, password);
  if (read != kExitOk) return read;
  if (options.user.empty() || password->empty()) {
    Fail("User or password can not be empty.");
    return kExitBadInput;
  }
  return kExitOk;
}

int Authenticate(const DEVICE_ENTRY_T& device, const std::string& user, const std::string& password,
                 int* tries = nullptr) {
  CAuthenticateDispatcher waits(*CControl::GetInstance());
  const device_ops::AuthOutcome outcome =
      device_ops::Authenticate(waits, SteadyOpClock(), device, user, password, kLogName, tries);
  switch (outcome) {
    case device_ops::AuthOutcome::kAccepted:
      return kExitOk;
    case device_ops::AuthOutcome::kNoAnswer:
      Fail("The device did not answer. (" + Describe(device) + ", nothing within 5 s)");
      return kExitAuthNoAnswer;
    default:
      Fail("User or password incorrect.");
      return kExitAuthFailed;
  }
}

// "3.5" for 3500 ms.
std::string SecondsText(std::chrono::milliseconds ms) {
  std::string text = std::to_string(ms.count() / 1000);
  if (ms.count() % 1000 != 0) text += "." + std::to_string(ms.count() % 1000 / 100);
  return text;
}

const char* SetResultName(device_ops::UpdateOutcome outcome) {
  switch (outcome) {
    case device_ops::UpdateOutcome::kSucceeded:
      return "succeeded";
    case device_ops::UpdateOutcome::kNoAck:
      return "no acknowledge";
    case device_ops::UpdateOutcome::kAckNotOk:
      return "refused";
    case device_ops::UpdateOutcome::kNotBuilt:
      break;
  }
  return "not sent";
}

// `set --json`: the device, how it ended and the sends each request took on the segment.
void PrintSetJson(const DEVICE_ENTRY_T& device, const char* result, int authTries,
                  int updateTries) {
  const nlohmann::json out = {{"mac", device.mac},
                              {"ip", device.ip},
                              {"result", result},
                              {"tries", {{"authenticate", authTries}, {"update", updateTries}}}};
  std::cout << out.dump(2, ' ', true, nlohmann::json::error_handler_t::replace) << "\n";
}

std::string AddressingText(const std::string& type) {
  if (type == device_config::kTypeDhcp) return "dhcp";
  if (type == device_config::kTypeStatic) return "static";
  return type;  // what the device said, for the caller to judge
}

}  // namespace

int RunShow(const ShowCommandOptions& options) {
  DeviceTarget target;
  if (const int parsed = ParseTarget(options.target, &target); parsed != kExitOk) return parsed;
  CCliSession session;
  DEVICE_ENTRY_T device;
  const int found = OpenAndFind(session, options.target, target, &device);
  if (found != kExitOk) return found;
  int tries = 0;
  const auto config = device_ops::ReadConfig(*CControl::GetInstance(), SteadyOpClock(), device,
                                             kReportWait, &tries);
  session.Close();
  if (!config) {
    Fail("no configuration report from " + Describe(device));
    return kExitNoAnswer;
  }
  auto value = [&](const char* key) {
    auto it = config->find(key);
    return it == config->end() ? std::string() : it->second;
  };
  const std::string addressing = AddressingText(device_config::ReportedType(*config));
  const std::pair<const char*, std::string> rows[] = {
      {"mac", device.mac},
      {"addressing", addressing},
      {"ip", value(device_config::kStatusIp)},
      {"gateway", value(device_config::kStatusGateway)},
      {"subnet_mask", value(device_config::kStatusNetmask)},
      {"primary_dns", value(device_config::kStatusPrimaryDns)},
      {"secondary_dns", value(device_config::kStatusSecondaryDns)},
  };
  if (options.json) {
    nlohmann::json out = nlohmann::json::object();
    for (const auto& [key, text] : rows) out[key] = text;
    out["dhcp"] = addressing == "dhcp";
    out["tries"] = tries;  // configuration requests sent
    // ASCII only: a control character a device sends cannot reach a terminal raw.
    std::cout << out.dump(2, ' ', true, nlohmann::json::error_handler_t::replace) << "\n";
    return kExitOk;
  }
  const char* labels[] = {"MAC Address", "Addressing",  "IP Address",   "Gateway",
                          "Subnet Mask", "Primary DNS", "Secondary DNS"};
  for (size_t i = 0; i < std::size(rows); ++i) {
    std::string label = labels[i];
    label.resize(15, ' ');
    std::cout << label << TerminalSafe(rows[i].second) << "\n";
  }
  return kExitOk;
}

int RunSet(const SetCommandOptions& options) {
  DeviceTarget target;
  if (const int parsed = ParseTarget(options.target, &target); parsed != kExitOk) return parsed;
  // The view's checks, before anything goes on the wire.
  device_config::NetworkSettings settings{options.dhcp, options.ip,   options.gateway,
                                          options.mask, options.dns1, options.dns2};
  if (!options.dhcp) {
    const NetworkInput input{{true, options.ip},
                             {true, options.gateway},
                             {true, options.mask},
                             {true, options.dns1},
                             {true, options.dns2}};
    if (const std::optional<NetworkField> bad = FirstInvalidField(input)) {
      Fail(InvalidFieldText(*bad));
      return kExitBadInput;
    }
  }
  std::string password;
  const int credentials = ReadCredentials(options.target, &password);
  if (credentials != kExitOk) return credentials;

  CCliSession session;
  DEVICE_ENTRY_T device;
  const int found = OpenAndFind(session, options.target, target, &device);
  if (found != kExitOk) return found;
  std::map<std::string, std::string> parameters{{"addressing", options.dhcp ? "dhcp" : "static"},
                                                {"user", options.target.user}};
  if (!options.dhcp) {
    parameters.insert({{"ip", options.ip},
                       {"gateway", options.gateway},
                       {"mask", options.mask},
                       {"dns1", options.dns1},
                       {"dns2", options.dns2}});
  }
  CCliDeviceOperation record(ESiteOperation::kSet, std::move(parameters), device);
  int authTries = 0;
  const int auth = Authenticate(device, options.target.user, password, &authTries);
  if (auth != kExitOk) {
    if (options.json) PrintSetJson(device, "authentication failed", authTries, 0);
    return record.End(auth);
  }

  CONFIG_MODULE_T items;
  device_config::FillUpdateItems(device, settings, &items);
  const device_ops::UpdateResult result =
      device_ops::UpdateConfig(*CControl::GetInstance(), SteadyOpClock(), device, items, kLogName);
  if (options.json) PrintSetJson(device, SetResultName(result.outcome), authTries, result.tries);
  switch (result.outcome) {
    case device_ops::UpdateOutcome::kSucceeded:
      if (!options.json) std::cout << "Setting device configurations succeeded.\n";
      return record.End(kExitOk);
    case device_ops::UpdateOutcome::kAckNotOk:
      Fail("Setting device configurations failed. The device answered \"" +
           TerminalSafe(result.result) + "\"" +
           (result.info.empty() ? "" : ": " + TerminalSafe(result.info)));
      return record.End(kExitAckNotOk, "acknowledge not OK: " + result.result);
    case device_ops::UpdateOutcome::kNoAck:
      Fail("Setting device configurations failed. No acknowledge from " + Describe(device) +
           " within " + SecondsText(device_ops::kAckWait) + " s.");
      return record.End(kExitNoAck);
    case device_ops::UpdateOutcome::kNotBuilt:
      break;
  }
  Fail("Setting device configurations failed. The request could not be built.");
  return record.End(kExitBadInput);
}

int RunRemote(const DeviceCommandOptions& options, bool reset, bool yes) {
  DeviceTarget target;
  if (const int parsed = ParseTarget(options, &target); parsed != kExitOk) return parsed;
  if (reset && !yes && !StdinIsTerminal()) {
    Fail("reset needs --yes when standard input is not a terminal");
    return kExitUsage;
  }
  std::string password;
  const int credentials = ReadCredentials(options, &password);
  if (credentials != kExitOk) return credentials;

  CCliSession session;
  DEVICE_ENTRY_T device;
  const int found = OpenAndFind(session, options, target, &device);
  if (found != kExitOk) return found;
  CCliDeviceOperation record(reset ? ESiteOperation::kReset : ESiteOperation::kReboot,
                             {{"user", options.user}}, device);
  const int auth = Authenticate(device, options.user, password);
  if (auth != kExitOk) return record.End(auth);
  if (reset && !yes &&
      !ConfirmOnTerminal("Are you sure you want to reset this device? " + Describe(device))) {
    Fail("reset cancelled");
    return kExitUsage;  // nothing was sent: no operation to record
  }
  const char* logName = reset ? "ipscanner-cli reset" : "ipscanner-cli reboot";
  switch (device_ops::RemoteControl(SteadyOpClock(), device,
                                    reset ? device_ops::kCommandReset : device_ops::kCommandReboot,
                                    logName)) {
    case device_ops::RemoteOutcome::kSent:
      break;
    case device_ops::RemoteOutcome::kNotBuilt:
      Fail("the request could not be built");
      return record.End(kExitBadInput);
    case device_ops::RemoteOutcome::kNotSent:
      Fail("the request could not be sent to " + Describe(device));
      return record.End(kExitNotSent);
  }
  std::cout << (reset ? "Reseting device succeeded.\n" : "Rebooting device succeeded.\n");
  return record.End(kExitOk);
}
