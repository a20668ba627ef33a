#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The IPv4 addresses of the interface the capture helper injects on: the only source addresses
// it lets a datagram carry. The helper reads them itself, never from the front end that asks it.

// Every IPv4 address of the interface as getifaddrs lists it (an address with a label, such as
// "eth0:1", belongs to eth0 too), host order, in the system's order. Empty when the interface
// has none or cannot be read.
std::vector<uint32_t> ReadInterfaceIpv4Addresses(const std::string& interfaceName);

// The interface's hardware address, the source MAC of every frame injected on it. false when the
// name is too long for an interface or the interface cannot be read.
bool ReadInterfaceMac(const std::string& interfaceName, uint8_t mac[6]);

// The addresses as last read. They change while the helper runs (a DHCP lease, an address added
// by hand), so a source address that is not among them makes the list be read again, but at
// most once per interval: a flood of frames with forged sources costs one read a second, not
// one a frame.
class CInterfaceAddresses {
public:
  using Clock = std::chrono::steady_clock;
  using Reader = std::function<std::vector<uint32_t>()>;

  static constexpr std::chrono::milliseconds kDefaultRereadInterval{1000};

  // Reads the list once now.
  CInterfaceAddresses(Reader reader, Clock::time_point now,
                      Clock::duration rereadInterval = kDefaultRereadInterval);

  const std::vector<uint32_t>& Known() const { return known_; }
  bool Contains(uint32_t address) const;

  // Reads the list again when the last read is at least the interval old; true when it did.
  bool RereadIfDue(Clock::time_point now);

private:
  Reader reader_;
  Clock::duration interval_;
  Clock::time_point lastRead_;
  std::vector<uint32_t> known_;
};
