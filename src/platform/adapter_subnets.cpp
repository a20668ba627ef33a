#include "platform/adapter_subnets.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

#include <algorithm>

std::vector<IPV4_SUBNET_T> ListAdapterSubnets(const std::vector<std::string>& interfaceNames) {
  std::vector<IPV4_SUBNET_T> subnets;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return subnets;
  for (const ifaddrs* it = list; it != nullptr; it = it->ifa_next) {
    if (it->ifa_addr == nullptr || it->ifa_netmask == nullptr || it->ifa_name == nullptr ||
        it->ifa_addr->sa_family != AF_INET) {
      continue;
    }
    if (std::find(interfaceNames.begin(), interfaceNames.end(), it->ifa_name) ==
        interfaceNames.end()) {
      continue;
    }
    IPV4_SUBNET_T subnet;
    subnet.address = ntohl(reinterpret_cast<const sockaddr_in*>(it->ifa_addr)->sin_addr.s_addr);
    subnet.mask = ntohl(reinterpret_cast<const sockaddr_in*>(it->ifa_netmask)->sin_addr.s_addr);
    subnets.push_back(subnet);
  }
  freeifaddrs(list);
  return subnets;
}
