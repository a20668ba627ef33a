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

// Whether the host is this computer's loopback: an address in 127.0.0.0/8 (also written as
// ::ffff:127.x.y.z), ::1, or the name "localhost". Traffic to it never leaves the computer.
bool IsLoopbackHost(const std::string& host);
