#pragma once

#include <string>

#include "agent/mqtt_link.h"

// The broker's password for the agent and the sites command: from --password-file, else from
// the environment variable IPSCANNER_MQTT_PASSWORD (removed from the environment once read, so no
// child inherits it), else none. Never from the command line.
constexpr const char* kMqttPasswordEnvironment = "IPSCANNER_MQTT_PASSWORD";

struct MQTT_CLIENT_ARGS_T {
  std::string url;
  std::string caFile;
  std::string user;
  std::string passwordFile;
};

// Fills the link options from the arguments: 0, or an exit code with the reason on stderr (a
// bad address: 1; a password file that cannot be read: 4).
int MakeMqttLinkOptions(const MQTT_CLIENT_ARGS_T& args, MQTT_LINK_OPTIONS_T* options);
