#pragma once

#include <string>

#include "cli/mqtt_credentials.h"

struct AgentOptions {
  std::string configPath;  // key = value file; command-line values win
  std::string site;        // "default" when neither gives one
  MQTT_CLIENT_ARGS_T mqtt;
  std::string interfaceName;
  std::string spoolPath;  // events waiting for the broker; default below the site folder
  int keepAliveSeconds = 30;
  int heartbeatSeconds = 60;
};

struct SitesMqttOptions {
  MQTT_CLIENT_ARGS_T mqtt;
  bool devices = false;
  bool json = false;
  int waitSeconds = 5;  // longest time to collect the retained documents
};

int RunAgent(AgentOptions options);
int RunSitesMqtt(const SitesMqttOptions& options);
