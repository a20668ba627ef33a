#include "cli/device_commands_cli.h"

namespace {

void AddTarget(CLI::App* cmd, DeviceCommandOptions* options, bool credentials) {
  cmd->add_option("DEVICE", options->device,
                  "MAC address (any case, with or without ':' or '-') or IPv4 address")
      ->required();
  cmd->add_option("--interface", options->interfaceName,
                  "Network interface to use (default: the adapter in config/SystemSetting.ini)");
  cmd->add_option("--seconds", options->seconds, "How long to look for the device (default 6)")
      ->check(CLI::Range(1, 3600));
  if (!credentials) return;
  cmd->add_option("--user", options->user, "The device's web user name");
  cmd->add_option("--password-file", options->passwordFile,
                  "Read the web password from the first line of this file (else from "
                  "IPSCANNER_PASSWORD, else asked on the terminal; never on the command line)");
}

}  // namespace

void RegisterDeviceCommands(CLI::App& app, DeviceCommandSet* c) {
  c->showCmd = app.add_subcommand(
      "show", "Show a device's addressing: DHCP or static, IP, gateway, subnet mask, DNS");
  AddTarget(c->showCmd, &c->show.target, false);
  c->showCmd->add_flag("--json", c->show.json, "Print one JSON object instead of the table");

  c->setCmd = app.add_subcommand("set", "Switch a device to DHCP or to a static address");
  AddTarget(c->setCmd, &c->set.target, true);
  CLI::Option* dhcp = c->setCmd->add_flag("--dhcp", c->set.dhcp, "Obtain the address by DHCP");
  CLI::Option* ip = c->setCmd->add_option("--static", c->set.ip, "Static IP address");
  CLI::Option* gateway = c->setCmd->add_option("--gateway", c->set.gateway, "Gateway");
  CLI::Option* mask = c->setCmd->add_option("--mask", c->set.mask, "Subnet mask");
  CLI::Option* dns1 = c->setCmd->add_option("--dns1", c->set.dns1, "Primary DNS server");
  CLI::Option* dns2 =
      c->setCmd->add_option("--dns2", c->set.dns2, "Secondary DNS server (optional)");
  c->setCmd->add_flag("--json", c->set.json,
                      "Print the result as one JSON object (with the requests' tries)");
  dhcp->excludes(ip);
  ip->needs(gateway)->needs(mask)->needs(dns1);
  for (CLI::Option* option : {gateway, mask, dns1, dns2}) option->needs(ip);
  c->setCmd->callback([dhcp, ip] {
    if (dhcp->count() == 0 && ip->count() == 0)
      throw CLI::ValidationError("set", "give --dhcp or --static IP with its values");
  });

  c->rebootCmd = app.add_subcommand("reboot", "Reboot a device");
  AddTarget(c->rebootCmd, &c->reboot, true);

  c->resetCmd = app.add_subcommand(
      "reset", "Reset a device to its factory settings (asks on a terminal unless --yes)");
  AddTarget(c->resetCmd, &c->reset, true);
  c->resetCmd->add_flag("--yes", c->resetYes, "Do not ask for confirmation");
}

int RunDeviceCommand(const DeviceCommandSet& c) {
  if (c.showCmd && *c.showCmd) return RunShow(c.show);
  if (c.setCmd && *c.setCmd) return RunSet(c.set);
  if (c.rebootCmd && *c.rebootCmd) return RunRemote(c.reboot, false, false);
  if (c.resetCmd && *c.resetCmd) return RunRemote(c.reset, true, c.resetYes);
  return -1;
}
