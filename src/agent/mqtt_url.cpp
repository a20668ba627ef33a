#include "agent/mqtt_url.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <strings.h>

#include <cctype>
#include <cstring>

bool ParseMqttUrl(const std::string& text, MQTT_URL_T* url, std::string* error) {
  MQTT_URL_T parsed;
  std::string rest;
  if (text.rfind("mqtt://", 0) == 0) {
    rest = text.substr(7);
  } else if (text.rfind("mqtts://", 0) == 0) {
    rest = text.substr(8);
    parsed.tls = true;
    parsed.port = 8883;
  } else {
    *error = "the broker address must start with mqtt:// or mqtts://";
    return false;
  }
  if (!rest.empty() && rest.back() == '/') rest.pop_back();
  // User information would put a password on the command line; paths mean nothing to MQTT.
  if (rest.find_first_of("@/?#") != std::string::npos) {
    *error = "the broker address is scheme://host[:port], without user, path or query";
    return false;
  }
  std::string portText;
  if (!rest.empty() && rest.front() == '[') {
    const size_t close = rest.find(']');
    if (close == std::string::npos) {
      *error = "unclosed '[' in the broker address";
      return false;
    }
    parsed.host = rest.substr(1, close - 1);
    const std::string after = rest.substr(close + 1);
    if (!after.empty()) {
      if (after.front() != ':') {
        *error = "unexpected text after ']' in the broker address";
        return false;
      }
      portText = after.substr(1);
      if (portText.empty()) {
        *error = "empty port in the broker address";
        return false;
      }
    }
  } else {
    const size_t colon = rest.find(':');
    parsed.host = rest.substr(0, colon);
    if (colon != std::string::npos) {
      portText = rest.substr(colon + 1);
      if (portText.empty()) {
        *error = "empty port in the broker address";
        return false;
      }
    }
  }
  if (parsed.host.empty()) {
    *error = "no host in the broker address";
    return false;
  }
  if (!portText.empty()) {
    if (portText.size() > 5) {
      *error = "bad port in the broker address";
      return false;
    }
    int port = 0;
    for (char c : portText) {
      if (!std::isdigit(static_cast<unsigned char>(c))) {
        *error = "bad port in the broker address";
        return false;
      }
      port = port * 10 + (c - '0');
    }
    if (port < 1 || port > 65535) {
      *error = "bad port in the broker address";
      return false;
    }
    parsed.port = port;
  }
  *url = parsed;
  return true;
}

bool IsLoopbackHost(const std::string& host) {
  if (strcasecmp(host.c_str(), "localhost") == 0 || strcasecmp(host.c_str(), "localhost.") == 0)
    return true;
  in_addr v4{};
  if (inet_pton(AF_INET, host.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
  in6_addr v6{};
  if (inet_pton(AF_INET6, host.c_str(), &v6) != 1) return false;
  if (IN6_IS_ADDR_LOOPBACK(&v6)) return true;
  return IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127;
}
