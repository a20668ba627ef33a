#pragma once

#include <string>

#include "agent/mqtt_link.h"

// The broker's password for the agent and the sites command: from --password-file, else from
// the environment variable IPSCANNER_MQTT_PASSWORD, else none. Never from the command line.
constexpr const char* kMqttPasswordEnvironment = "IPSCANNER_MQTT_PASSWORD";

struct MQTT_CLIENT_ARGS_T {
  std::string url;
  std::string caFile;
  std::string user;
  std::string passwordFile;
  // A password may go over plain mqtt:// to a broker that is not on this computer.
  bool allowPlaintextPassword = false;
};

// Moves IPSCANNER_MQTT_PASSWORD out of the environment into the process (its text in the
// environment block overwritten, the variable removed), so neither /proc/PID/environ nor a
// child process shows it. main calls it first; MakeMqttLinkOptions reads the taken value.
void TakeMqttPasswordFromEnvironment();

// Fills the link options from the arguments: 0, or an exit code with the reason on stderr (a
// bad address, or a password that would cross the network unencrypted without
// allowPlaintextPassword: 1; a password file that cannot be read: 4).
int MakeMqttLinkOptions(const MQTT_CLIENT_ARGS_T& args, MQTT_LINK_OPTIONS_T* options);
