#include "platform/adapters.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>

std::vector<NetInterfaceInfo> ListNetInterfaces() {
  std::vector<NetInterfaceInfo> result;
  struct ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return result;

  for (struct ifaddrs* item = list; item != nullptr; item = item->ifa_next) {
    if (item->ifa_name == nullptr || (item->ifa_flags & IFF_LOOPBACK) != 0 ||
        (item->ifa_flags & IFF_UP) == 0) {
      continue;
    }
    auto found = std::find_if(result.begin(), result.end(), [&](const NetInterfaceInfo& info) {
      return info.name == item->ifa_name;
    });
    if (found == result.end()) {
      result.push_back(NetInterfaceInfo{});
      result.back().name = item->ifa_name;
      found = result.end() - 1;
    }
    if (item->ifa_addr == nullptr) continue;
    if (item->ifa_addr->sa_family == AF_INET) {
      const auto* address = reinterpret_cast<const struct sockaddr_in*>(item->ifa_addr);
      char text[INET_ADDRSTRLEN] = {};
      if (::inet_ntop(AF_INET, &address->sin_addr, text, sizeof(text)) != nullptr) {
        found->ipv4.push_back(text);
      }
    } else if (item->ifa_addr->sa_family == AF_PACKET) {
      const auto* link = reinterpret_cast<const struct sockaddr_ll*>(item->ifa_addr);
      if (link->sll_halen == 6) {
        std::memcpy(found->mac, link->sll_addr, 6);
        found->hasMac = true;
      }
    }
  }
  ::freeifaddrs(list);
  return result;
}

InterfaceFault CheckInterface(const std::string& name) {
  struct ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return InterfaceFault::kMissing;
  bool exists = false;
  bool up = false;
  bool loopback = false;
  bool ipv4 = false;
  for (struct ifaddrs* item = list; item != nullptr; item = item->ifa_next) {
    if (item->ifa_name == nullptr || name != item->ifa_name) continue;
    exists = true;
    up = (item->ifa_flags & IFF_UP) != 0;
    loopback = (item->ifa_flags & IFF_LOOPBACK) != 0;
    if (item->ifa_addr != nullptr && item->ifa_addr->sa_family == AF_INET) ipv4 = true;
  }
  ::freeifaddrs(list);
  if (!exists) return InterfaceFault::kMissing;
  if (loopback) return InterfaceFault::kLoopback;
  if (!up) return InterfaceFault::kDown;
  if (!ipv4) return InterfaceFault::kNoIpv4;
  return InterfaceFault::kNone;
}

const char* InterfaceFaultText(InterfaceFault fault) {
  switch (fault) {
    case InterfaceFault::kNone:
      return "";
    case InterfaceFault::kMissing:
      return "does not exist";
    case InterfaceFault::kLoopback:
      return "is a loopback interface";
    case InterfaceFault::kDown:
      return "is not up";
    case InterfaceFault::kNoIpv4:
      return "has no IPv4 address";
  }
  return "";
}

std::string InterfaceProblem(const std::string& name) {
  return InterfaceFaultText(CheckInterface(name));
}
