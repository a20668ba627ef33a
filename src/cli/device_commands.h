#pragma once

#include <string>

// The device view's operations on the command line: show, set, reboot, reset.
struct DeviceCommandOptions {
  std::string device;         // MAC in any spelling, or IPv4 address
  std::string interfaceName;  // empty: the adapter settings in config/SystemSetting.ini
  int seconds = 6;            // how long to look for the device
  std::string user;
  std::string passwordFile;  // else IPSCANNER_PASSWORD, else a prompt on a terminal
};

struct ShowCommandOptions {
  DeviceCommandOptions target;
  bool json = false;
};

struct SetCommandOptions {
  DeviceCommandOptions target;
  bool dhcp = false;
  std::string ip, gateway, mask, dns1, dns2;  // a static address (ip set)
  bool json = false;
};

// Each returns the process exit code (cli_exit_codes.h).
int RunShow(const ShowCommandOptions& options);
int RunSet(const SetCommandOptions& options);
// reset: a factory reset instead of a reboot; it asks on a terminal unless `yes`.
int RunRemote(const DeviceCommandOptions& options, bool reset, bool yes);
