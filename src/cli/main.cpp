// ipscanner-cli: the headless front end on the control core. Needs no window system.
#include <CLI/CLI.hpp>
#include <iostream>
#include <string>

#include "cli/agent_options.h"
#include "cli/capture_decoder.h"
#include "cli/cli_commands.h"
#include "cli/cli_credentials.h"
#include "cli/cli_exit_codes.h"
#include "cli/cli_site.h"
#include "cli/device_commands_cli.h"
#include "cli/site_commands_cli.h"
#include "platform/file_version.h"

namespace {

int RunDecode(const std::string& path, bool showPasswords) {
  CCaptureDecoder decoder;
  std::string error;
  if (!decoder.Load(path, &error)) {
    std::cerr << "ipscanner-cli: " << error << "\n";
    return kExitFileError;
  }
  const int count = decoder.Decode(std::cout, showPasswords);
  std::cerr << "ipscanner-cli: " << count << " device datagrams decoded\n";
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  // Before any child process can be started: neither password stays in the environment.
  TakePasswordFromEnvironment();
  TakeMqttPasswordFromEnvironment();
  CLI::App app{"Discovers intercom devices on the local segment and decodes device traffic.",
               "ipscanner-cli"};
  app.footer(kExitCodesHelp);
  app.require_subcommand(1);
  app.set_version_flag("--version", "ipscanner-cli " + GetCompiledVersionText(),
                       "Print the version and exit");
  // Options of the whole program (--site) may also follow the subcommand.
  app.fallthrough();

  ScanOptions scan;
  CLI::App* scanCmd =
      app.add_subcommand("scan", "Discover the devices on the segment and list them");
  scanCmd->add_option(
      "--interface", scan.interfaceName,
      "Network interface to use (default: the adapter in config/SystemSetting.ini)");
  scanCmd->add_option("--seconds", scan.seconds, "How long to listen for answers (default 6)")
      ->check(CLI::Range(1, 3600));
  scanCmd->add_option("--csv", scan.csvPath, "Also write the list to this CSV file");
  scanCmd->add_flag("--json", scan.json, "Print one JSON array instead of the table");
  scanCmd
      ->add_option("--expect", scan.expect,
                   "Stop as soon as this many devices are listed; exit 5 when fewer answer")
      ->check(CLI::Range(1, 1000000));

  std::string pcapPath;
  CLI::App* decodeCmd = app.add_subcommand(
      "decode", "Decode every device datagram of a capture file (header, envelope, XML)");
  decodeCmd->add_option("file", pcapPath, "Capture file (pcap)")->required();
  bool showPasswords = false;
  decodeCmd->add_flag("--show-passwords", showPasswords,
                      "Show the passwords of authenticate requests (masked otherwise)");

  ConfigOptions config;
  CLI::App* configCmd = app.add_subcommand("config", "");  // hidden: an empty description
  configCmd->group("");
  configCmd->add_option("--interface", config.interfaceName, "Network interface to use");
  configCmd->add_option("--mac", config.mac, "MAC text of the device (as it reports it)")
      ->required();
  configCmd->add_option("--get", config.getItems, "Configuration path to read");
  configCmd->add_option("--set", config.setItems, "PATH=VALUE to write");
  configCmd->add_option("--seconds", config.seconds, "Discovery and answer time (default 6)")
      ->check(CLI::Range(1, 3600));
  configCmd->add_option("--auth", config.authUser,
                        "USER to authenticate first (password: IPSCANNER_PASSWORD, "
                        "--password-file or a prompt)");
  configCmd->add_option("--password-file", config.passwordFile,
                        "File whose first line is the password");
  configCmd->add_flag("--reboot", config.reboot,
                      "Reboot the device and wait for its boot-up message");

  StaticOptions statics;
  CLI::App* staticCmd = app.add_subcommand(
      "static", "Turn devices from DHCP to static addresses that keep their present settings");
  staticCmd->add_option("device", statics.devices, "MAC (any spelling) or IP address of a device");
  staticCmd->add_flag("--all", statics.all, "Every device that answers the discovery");
  staticCmd->add_option("--model", statics.model, "With --all: only devices of this model");
  staticCmd->add_option("--interface", statics.interfaceName, "Network interface to use");
  staticCmd->add_option("--seconds", statics.seconds, "Discovery time (default 6)")
      ->check(CLI::Range(1, 3600));
  staticCmd
      ->add_option("--expect", statics.expect,
                   "With --all: start once this many devices answered (of every model); when fewer "
                   "answer within --seconds, send nothing and exit 16")
      ->check(CLI::Range(1, 1000000));
  staticCmd->add_flag("--json", statics.json, "Print the result as one JSON array");
  DeviceCommandSet deviceCommands;
  RegisterDeviceCommands(app, &deviceCommands);

  UpgradeOptions upgrade;
  CLI::App* upgradeCmd = app.add_subcommand(
      "upgrade", "Push a firmware image to devices and check that each comes back with it");
  upgradeCmd->add_option("--image", upgrade.image, "Firmware image; its name is <version>.rom/.zip")
      ->required();
  upgradeCmd->add_option("device", upgrade.devices, "MAC (any spelling) or IP of a device");
  upgradeCmd->add_flag("--all", upgrade.all, "Every device that answers the discovery");
  upgradeCmd->add_option("--model", upgrade.model, "With --all: only devices of this model");
  upgradeCmd->add_option("--from-version", upgrade.fromVersion,
                         "With --all: only devices running this firmware");
  upgradeCmd->add_option("--parallel", upgrade.parallel, "Devices upgrading at once (default 8)")
      ->check(CLI::Range(1, 256));
  upgradeCmd
      ->add_option("--timeout", upgrade.timeoutSeconds,
                   "Seconds a device may take (default 920, as the upgrade window)")
      ->check(CLI::Range(1, 86400));
  upgradeCmd->add_option("--seconds", upgrade.seconds, "Discovery time (default 6)")
      ->check(CLI::Range(1, 3600));
  upgradeCmd->add_option("--interface", upgrade.interfaceName,
                         "Network interface to use (default: config/SystemSetting.ini)");
  upgradeCmd->add_flag("--json", upgrade.json, "Print one JSON document instead of the table");
  auto* force =
      upgradeCmd->add_flag("--force-incompatible", upgrade.forceIncompatible,
                           "Also upgrade devices whose firmware family differs from the image's or "
                           "is unknown (without it they stop the run with exit 14)");
  upgradeCmd
      ->add_flag("--skip-incompatible", upgrade.skipIncompatible,
                 "Upgrade only the devices of the image's firmware family; name the others "
                 "and leave them as they are")
      ->excludes(force);

  AssignOptionsCli assign;
  CLI::App* assignCmd =
      app.add_subcommand("assign",
                         "Give devices their planned static addresses from a range or a plan file, "
                         "then check each at its new address");
  assignCmd->add_option("device", assign.devices, "MAC (any spelling) or IP address of a device");
  assignCmd->add_flag("--all", assign.all, "Every device that answers the discovery");
  assignCmd->add_option("--model", assign.model, "Only devices of this model");
  assignCmd->add_flag("--problems", assign.problems,
                      "The devices with a duplicate IP or an address outside the subnet");
  assignCmd->add_option("--from", assign.from, "First address of the range");
  assignCmd->add_option("--step", assign.step, "Step between addresses (default 1)")
      ->check(CLI::Range(1, 65536));
  assignCmd->add_option("--order", assign.order, "Order of the devices: room (default), ip or mac")
      ->check(CLI::IsMember({"room", "ip", "mac"}));
  assignCmd->add_option("--plan", assign.plan,
                        "CSV plan: mac or room, ip, optional mask, gateway, dns1, dns2");
  assignCmd->add_option("--mask", assign.mask, "Subnet mask (default: the adapter's)");
  assignCmd->add_option("--gateway", assign.gateway, "Gateway");
  assignCmd->add_option("--dns1", assign.dns1, "Primary DNS (default: the gateway)");
  assignCmd->add_option("--dns2", assign.dns2, "Secondary DNS (optional)");
  assignCmd->add_option("--parallel", assign.parallel, "Devices moving at once (default 8)")
      ->check(CLI::Range(1, 256));
  assignCmd
      ->add_option("--verify-seconds", assign.verifySeconds,
                   "How long a device may take to answer at its new address (default 30)")
      ->check(CLI::Range(1, 3600));
  assignCmd->add_flag("--dry-run", assign.dryRun,
                      "Print the preview; send nothing but discovery and ARP probes");
  assignCmd->add_flag("--json", assign.json, "Print one JSON array instead of the table");
  assignCmd->add_option("--record", assign.record,
                        "Write the result record to FILE.csv and FILE.json");
  assignCmd->add_option("--user", assign.user, "The devices' web user name");
  assignCmd->add_option("--password-file", assign.passwordFile,
                        "Read the web password from the first line of this file (else from "
                        "IPSCANNER_PASSWORD, else asked on the terminal)");
  assignCmd->add_option("--interface", assign.interfaceName, "Network interface to use");
  assignCmd->add_option("--seconds", assign.seconds, "Discovery time (default 6)")
      ->check(CLI::Range(1, 3600));
  assignCmd
      ->add_option("--expect", assign.expect,
                   "Start once this many devices answered; when fewer answer within --seconds, "
                   "send nothing and exit 16")
      ->check(CLI::Range(1, 1000000));

  WatchOptions watch;
  CLI::App* watchCmd = app.add_subcommand(
      "watch", "Discover every 5 seconds and print each change on the site until interrupted");
  watchCmd->add_option(
      "--interface", watch.interfaceName,
      "Network interface to use (default: the adapter in config/SystemSetting.ini)");
  watchCmd->add_flag("--json", watch.json, "Print one JSON object per event (JSON Lines)");
  watchCmd->add_option("--seconds", watch.seconds, "Stop after this many seconds (default: never)")
      ->check(CLI::Range(1, 86400 * 365));

  AgentOptions agent;
  CLI::App* agentCmd = app.add_subcommand(
      "agent", "Watch the site and publish its devices and events to an MQTT broker");
  agentCmd->add_option("--config", agent.configPath,
                       "Read key = value settings from this file (site, mqtt, ca, user, "
                       "password_file, interface, spool, allow_plaintext_password)");
  agentCmd->add_option("--site", agent.site, "Site name: one topic level (default \"default\")");
  agentCmd->add_option("--mqtt", agent.mqtt.url,
                       "Broker: mqtt://HOST[:PORT] or mqtts://HOST[:PORT]");
  agentCmd->add_option("--ca", agent.mqtt.caFile, "CA certificate that signed the broker's");
  agentCmd->add_option("--user", agent.mqtt.user, "Broker user name");
  agentCmd->add_option("--password-file", agent.mqtt.passwordFile,
                       "File whose first line is the broker password (else "
                       "IPSCANNER_MQTT_PASSWORD)");
  agentCmd->add_flag("--allow-plaintext-password", agent.mqtt.allowPlaintextPassword,
                     "Send the password over plain mqtt:// to a broker that is not on this "
                     "computer (refused without it)");
  agentCmd->add_option("--interface", agent.interfaceName, "Network interface to use");
  agentCmd->add_option("--spool", agent.spoolPath,
                       "File for events waiting for the broker (default: below the site folder)");
  agentCmd
      ->add_option("--keepalive", agent.keepAliveSeconds,
                   "Seconds between keep-alives; the broker calls the site offline after "
                   "1.5 times this without one (default 30)")
      ->check(CLI::Range(5, 3600));
  agentCmd
      ->add_option("--heartbeat", agent.heartbeatSeconds,
                   "Seconds between status heartbeats (default 60)")
      ->check(CLI::Range(5, 3600));

  SiteCommandSet siteCommands;
  std::string siteName;
  RegisterSiteCommands(app, &siteCommands, &siteName);

  // The same `sites` command lists what agents publish to a broker when given --mqtt.
  SitesMqttOptions sites;
  CLI::App* sitesCmd = siteCommands.sitesCmd;
  sitesCmd->add_option("--mqtt", sites.mqtt.url,
                       "List the sites that agents publish to this MQTT broker instead: "
                       "mqtt://HOST[:PORT] or mqtts://HOST[:PORT]");
  sitesCmd->add_option("--ca", sites.mqtt.caFile,
                       "With --mqtt: CA certificate that signed the broker's");
  sitesCmd->add_option("--user", sites.mqtt.user, "With --mqtt: broker user name");
  sitesCmd->add_option("--password-file", sites.mqtt.passwordFile,
                       "With --mqtt: file whose first line is the broker password (else "
                       "IPSCANNER_MQTT_PASSWORD)");
  sitesCmd->add_flag("--allow-plaintext-password", sites.mqtt.allowPlaintextPassword,
                     "With --mqtt: send the password over plain mqtt:// to a broker that is not "
                     "on this computer (refused without it)");
  sitesCmd->add_flag("--devices", sites.devices,
                     "With --mqtt: also list every device of every site");
  sitesCmd
      ->add_option("--wait", sites.waitSeconds,
                   "With --mqtt: longest time to collect what the broker holds (default 5)")
      ->check(CLI::Range(1, 600));

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return kExitUsage;
  }

  if (!siteName.empty() && !SetCliSiteName(siteName)) {
    std::cerr << "ipscanner-cli: --site takes 1 to 64 letters, digits, '.', '_' or '-' (not "
                 "starting with '.')\n";
    return kExitUsage;
  }
  const int code = [&] {
    if (*decodeCmd) return RunDecode(pcapPath, showPasswords);
    if (*scanCmd) return RunScan(scan);
    if (*configCmd) return RunConfig(config);
    if (*staticCmd) return RunStatic(statics);
    if (*upgradeCmd) return RunUpgrade(upgrade);
    if (*watchCmd) return RunWatch(watch);
    if (*assignCmd) return RunAssign(assign);
    if (*agentCmd) return RunAgent(agent);
    if (*sitesCmd && !sites.mqtt.url.empty()) {
      sites.json = siteCommands.sitesJson;
      return RunSitesMqtt(sites);
    }
    if (const int device = RunDeviceCommand(deviceCommands); device >= 0) return device;
    if (const int site = RunSiteCommand(siteCommands); site >= 0) return site;
    return static_cast<int>(kExitUsage);
  }();
  CloseCliSiteRecord();  // writes what the command recorded last
  return code;
}
