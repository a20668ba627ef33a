#include "platform/udp_port_listener.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A UDP socket bound to a port the system picks, on the IPv4 loopback or the IPv6 any address;
// -1 when this family is not available here.
int BoundSocket(int family, int* port) {
  const int fd = ::socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_storage address{};
  socklen_t length = 0;
  if (family == AF_INET) {
    auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
    v4->sin_family = AF_INET;
    v4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    length = sizeof *v4;
  } else {
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
    v6->sin6_family = AF_INET6;
    v6->sin6_addr = in6addr_any;
    length = sizeof *v6;
  }
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(fd);
    return -1;
  }
  *port = ntohs(family == AF_INET ? reinterpret_cast<sockaddr_in*>(&address)->sin_port
                                  : reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
  return fd;
}

}  // namespace

// The log sender leaves out lines only for a port nobody has bound: a bound port in either
// family is seen, and the same port once closed is not.
TEST(UdpPortListener, SeesABoundPortInEitherFamilyAndNotOnceItIsClosed) {
  for (int family : {AF_INET, AF_INET6}) {
    int port = 0;
    const int fd = BoundSocket(family, &port);
    if (fd < 0) continue;  // no IPv6 here
    EXPECT_TRUE(UdpPortMayHaveListener(port)) << family;
    ::close(fd);
    EXPECT_FALSE(UdpPortMayHaveListener(port)) << family;
  }
}
