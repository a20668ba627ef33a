#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One network interface as the system reports it (loopback interfaces left out).
struct NetInterfaceInfo {
  std::string name;               // interface name, as libpcap names the capture device
  std::vector<std::string> ipv4;  // IPv4 address texts in the order the system lists them
  uint8_t mac[6] = {};            // hardware address; zero when it has none
  bool hasMac = false;
};

// Every non-loopback interface in the order getifaddrs lists them; empty when it fails.
std::vector<NetInterfaceInfo> ListNetInterfaces();
