#include "transport/interface_addresses.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace {

// Interface names never contain ':' (the kernel refuses them), so "name:" starts only the
// labels of name's own addresses.
bool NamesInterface(const char* listed, const std::string& interfaceName) {
  if (listed == nullptr || std::strncmp(listed, interfaceName.c_str(), interfaceName.size()) != 0)
    return false;
  const char next = listed[interfaceName.size()];
  return next == '\0' || next == ':';
}

}  // namespace

std::vector<uint32_t> ReadInterfaceIpv4Addresses(const std::string& interfaceName) {
  std::vector<uint32_t> addresses;
  if (interfaceName.empty()) return addresses;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return addresses;
  for (const ifaddrs* item = list; item != nullptr; item = item->ifa_next) {
    if (item->ifa_addr == nullptr || item->ifa_addr->sa_family != AF_INET) continue;
    if (!NamesInterface(item->ifa_name, interfaceName)) continue;
    const auto* address = reinterpret_cast<const sockaddr_in*>(item->ifa_addr);
    const uint32_t value = ntohl(address->sin_addr.s_addr);
    if (std::find(addresses.begin(), addresses.end(), value) == addresses.end())
      addresses.push_back(value);
  }
  freeifaddrs(list);
  return addresses;
}

CInterfaceAddresses::CInterfaceAddresses(Reader reader, Clock::time_point now,
                                         Clock::duration rereadInterval)
    : reader_(std::move(reader)), interval_(rereadInterval), lastRead_(now) {
  if (reader_) known_ = reader_();
}

bool CInterfaceAddresses::Contains(uint32_t address) const {
  return std::find(known_.begin(), known_.end(), address) != known_.end();
}

bool CInterfaceAddresses::RereadIfDue(Clock::time_point now) {
  if (!reader_ || now - lastRead_ < interval_) return false;
  lastRead_ = now;
  known_ = reader_();
  return true;
}

bool ReadInterfaceMac(const std::string& interfaceName, uint8_t mac[6]) {
  if (interfaceName.empty() || interfaceName.size() >= IFNAMSIZ) return false;
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  ifreq request{};
  std::memcpy(request.ifr_name, interfaceName.data(), interfaceName.size());
  const bool ok = ioctl(fd, SIOCGIFHWADDR, &request) == 0;
  close(fd);
  if (ok) std::memcpy(mac, request.ifr_hwaddr.sa_data, 6);
  return ok;
}
