#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One network interface as the system reports it (loopback interfaces and interfaces that are
// not up left out: a switched-off interface keeps its IPv4 address on Linux, but cannot be
// captured on).
struct NetInterfaceInfo {
  std::string name;               // interface name, as libpcap names the capture device
  std::vector<std::string> ipv4;  // IPv4 address texts in the order the system lists them
  uint8_t mac[6] = {};            // hardware address; zero when it has none
  bool hasMac = false;
};

// Every usable interface (up, not loopback) in the order getifaddrs lists them; empty when it
// fails.
std::vector<NetInterfaceInfo> ListNetInterfaces();

// Why the named interface cannot be a capture adapter, if it cannot.
enum class InterfaceFault : uint8_t { kNone, kMissing, kLoopback, kDown, kNoIpv4 };
InterfaceFault CheckInterface(const std::string& name);
// "does not exist", "is a loopback interface", "is not up", "has no IPv4 address"; "" for kNone.
const char* InterfaceFaultText(InterfaceFault fault);
// The same in words; empty when it can.
std::string InterfaceProblem(const std::string& name);
