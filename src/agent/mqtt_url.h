#pragma once

#include <string>

// Where the site agent and the sites command find the broker: "mqtt://host[:port]" (plain,
// 1883 by default) or "mqtts://host[:port]" (TLS, 8883 by default). An IPv6 host is written in
// brackets ("mqtts://[fd00::1]:8883").
struct MQTT_URL_T {
  std::string host;
  int port = 1883;
  bool tls = false;
};

// False with a reason for anything else (another scheme, a path, user information, a bad port).
bool ParseMqttUrl(const std::string& text, MQTT_URL_T* url, std::string* error);
