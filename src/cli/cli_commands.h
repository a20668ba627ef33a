#pragma once

#include <string>
#include <vector>

struct ScanOptions {
  std::string interfaceName;  // empty: the adapter settings in config/SystemSetting.ini
  int seconds = 6;
  std::string csvPath;
  bool json = false;
  int expect = 0;  // > 0: stop once this many devices are listed
};

struct ConfigOptions {
  std::string interfaceName;
  std::string mac;                    // the device's MAC text, with or without ':'
  std::vector<std::string> getItems;  // configuration paths to read
  std::vector<std::string> setItems;  // PATH=VALUE texts to write
  std::string authUser;               // USER:PASSWORD, authenticate first when set
  bool reboot = false;                // send a reboot and wait for the boot-up message
  int seconds = 6;
};

struct WatchOptions {
  std::string interfaceName;
  bool json = false;
  int seconds = 0;  // 0: until interrupted
};

// Each returns the process exit code (cli_exit_codes.h).
int RunScan(const ScanOptions& options);
int RunConfig(const ConfigOptions& options);
int RunWatch(const WatchOptions& options);
