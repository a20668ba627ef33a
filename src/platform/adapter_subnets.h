#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One IPv4 network of an interface (host byte order).
struct IPV4_SUBNET_T {
  uint32_t address = 0;
  uint32_t mask = 0;
  bool Contains(uint32_t ip) const { return (ip & mask) == (address & mask); }
};

// The IPv4 networks (address and mask) of the named interfaces, as getifaddrs lists them;
// empty when none is found.
std::vector<IPV4_SUBNET_T> ListAdapterSubnets(const std::vector<std::string>& interfaceNames);
