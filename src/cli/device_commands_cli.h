#pragma once

#include <CLI/CLI.hpp>

#include "cli/device_commands.h"

// The options of show, set, reboot and reset, filled by the parser.
struct DeviceCommandSet {
  ShowCommandOptions show;
  SetCommandOptions set;
  DeviceCommandOptions reboot;
  DeviceCommandOptions reset;
  bool resetYes = false;
  CLI::App* showCmd = nullptr;
  CLI::App* setCmd = nullptr;
  CLI::App* rebootCmd = nullptr;
  CLI::App* resetCmd = nullptr;
};

void RegisterDeviceCommands(CLI::App& app, DeviceCommandSet* commands);

// The exit code of the device command that was given, or -1 when none of them was.
int RunDeviceCommand(const DeviceCommandSet& commands);
