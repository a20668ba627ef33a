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
  std::string authUser;               // USER: authenticate first when set
  std::string passwordFile;           // the password as the other commands take it
  bool reboot = false;                // send a reboot and wait for the boot-up message
  int seconds = 6;
};

struct StaticOptions {
  std::string interfaceName;
  std::vector<std::string> devices;  // MACs (any spelling) or IP addresses
  bool all = false;                  // every device that answers (of `model` when given)
  std::string model;                 // with --all: only this model (ignoring case)
  int seconds = 6;                   // discovery time
  int expect = 0;  // with --all: start once this many answered; fewer at the end: send nothing
  bool json = false;
};

struct UpgradeOptions {
  std::string image;                 // the firmware image; its name carries the version
  std::vector<std::string> devices;  // MACs (any spelling) or IPs
  bool all = false;                  // every device that answers (narrowed by model, version)
  std::string model;
  std::string fromVersion;
  int parallel = 8;
  int timeoutSeconds = 0;  // 0: the upgrade window's (92 checks 10 s apart)
  int seconds = 6;         // discovery time
  std::string interfaceName;
  bool json = false;
  bool forceIncompatible = false;  // also devices of another or an unknown firmware family
  bool skipIncompatible = false;   // leave those out, upgrade the others
};

struct AssignOptionsCli {
  std::string interfaceName;
  std::vector<std::string> devices;  // MACs (any spelling) or IPs
  bool all = false;
  std::string model;      // with --all, or alone: only devices of this model
  bool problems = false;  // devices with a duplicate IP or an address outside the subnet
  std::string from;       // start address of the range
  int step = 1;
  std::string order = "room";
  std::string plan;  // plan file
  std::string mask, gateway, dns1, dns2;
  int parallel = 8;
  int verifySeconds = 30;  // how long a device may take to answer at its new address
  bool dryRun = false;
  bool json = false;
  std::string record;  // result record: FILE.csv and FILE.json (by the given name's extension)
  std::string user;
  std::string passwordFile;
  int seconds = 6;  // discovery time
  int expect = 0;
};

struct WatchOptions {
  std::string interfaceName;
  bool json = false;
  int seconds = 0;  // 0: until interrupted
};

// Each returns the process exit code (cli_exit_codes.h).
int RunScan(const ScanOptions& options);
int RunConfig(const ConfigOptions& options);
int RunStatic(const StaticOptions& options);
int RunUpgrade(const UpgradeOptions& options);
int RunWatch(const WatchOptions& options);
int RunAssign(const AssignOptionsCli& options);
