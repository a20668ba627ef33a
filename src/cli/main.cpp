// ipscanner-cli: the headless front end on the control core. Needs no window system.
#include <CLI/CLI.hpp>
#include <iostream>
#include <string>

#include "cli/capture_decoder.h"
#include "cli/cli_commands.h"
#include "cli/cli_exit_codes.h"
#include "cli/device_commands_cli.h"
#include "cli/cli_site.h"
#include "cli/site_commands_cli.h"
#include "platform/file_version.h"

namespace {

int RunDecode(const std::string& path) {
  CCaptureDecoder decoder;
  std::string error;
  if (!decoder.Load(path, &error)) {
    std::cerr << "ipscanner-cli: " << error << "\n";
    return kExitFileError;
  }
  const int count = decoder.Decode(std::cout);
  std::cerr << "ipscanner-cli: " << count << " device datagrams decoded\n";
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
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
  configCmd->add_option("--auth", config.authUser, "USER:PASSWORD to authenticate first");
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
                   "With --all: start once this many devices are listed")
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
  upgradeCmd->add_option("--timeout", upgrade.timeoutSeconds,
                         "Seconds a device may take (default 920, as the upgrade window)")
      ->check(CLI::Range(1, 86400));
  upgradeCmd->add_option("--seconds", upgrade.seconds, "Discovery time (default 6)")
      ->check(CLI::Range(1, 3600));
  upgradeCmd->add_option("--interface", upgrade.interfaceName,
                         "Network interface to use (default: config/SystemSetting.ini)");
  upgradeCmd->add_flag("--json", upgrade.json, "Print one JSON document instead of the table");

  WatchOptions watch;
  CLI::App* watchCmd = app.add_subcommand(
      "watch", "Discover every 5 seconds and print each change on the site until interrupted");
  watchCmd->add_option(
      "--interface", watch.interfaceName,
      "Network interface to use (default: the adapter in config/SystemSetting.ini)");
  watchCmd->add_flag("--json", watch.json, "Print one JSON object per event (JSON Lines)");
  watchCmd->add_option("--seconds", watch.seconds, "Stop after this many seconds (default: never)")
      ->check(CLI::Range(1, 86400 * 365));

  SiteCommandSet siteCommands;
  std::string siteName;
  RegisterSiteCommands(app, &siteCommands, &siteName);

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
    if (*decodeCmd) return RunDecode(pcapPath);
    if (*scanCmd) return RunScan(scan);
    if (*configCmd) return RunConfig(config);
    if (*staticCmd) return RunStatic(statics);
    if (*upgradeCmd) return RunUpgrade(upgrade);
    if (*watchCmd) return RunWatch(watch);
    if (const int device = RunDeviceCommand(deviceCommands); device >= 0) return device;
    if (const int site = RunSiteCommand(siteCommands); site >= 0) return site;
    return static_cast<int>(kExitUsage);
  }();
  CloseCliSiteRecord();  // writes what the command recorded last
  return code;
}
