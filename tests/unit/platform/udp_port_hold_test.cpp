#include "platform/udp_port_hold.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;

// A port nobody holds now: the kernel picks one for a moment.
uint16_t FreePort() {
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
  socklen_t length = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length);
  ::close(fd);
  return ntohs(addr.sin_port);
}

// A sender connected to 127.0.0.1:port. A connected UDP socket learns of the kernel's ICMP
// "port unreachable" answer: its next call fails with ECONNREFUSED.
class Sender {
public:
  explicit Sender(uint16_t port) : m_fd(::socket(AF_INET, SOCK_DGRAM, 0)) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(port);
    ::connect(m_fd, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  }
  ~Sender() { ::close(m_fd); }
  // Sends one datagram, lets an ICMP answer arrive, and tells whether one did.
  bool Refused() {
    ::send(m_fd, "x", 1, 0);
    std::this_thread::sleep_for(20ms);
    char byte;
    return ::recv(m_fd, &byte, 1, MSG_DONTWAIT) < 0 && errno == ECONNREFUSED;
  }

private:
  int m_fd;
};

TEST(UdpPortHold, KeepsTheKernelFromAnsweringWithPortUnreachable) {
  const uint16_t port = FreePort();
  Sender sender(port);
  ASSERT_TRUE(sender.Refused()) << "without a holder the kernel answers with ICMP";
  {
    CUdpPortHold hold(port);
    ASSERT_TRUE(hold.Held()) << hold.BindError();
    for (int i = 0; i < 5; ++i) EXPECT_FALSE(sender.Refused()) << i;
    // What arrives is read and thrown away, so the socket's buffer does not fill.
    for (int i = 0; i < 100 && hold.Discarded() < 5; ++i) std::this_thread::sleep_for(10ms);
    EXPECT_EQ(hold.Discarded(), 5u);
  }
  EXPECT_TRUE(sender.Refused()) << "the port is let go with the holder";
  CUdpPortHold again(port);
  EXPECT_TRUE(again.Held());
}

TEST(UdpPortHold, APortAnotherProgramHoldsStaysItsOwn) {
  const uint16_t port = FreePort();
  CUdpPortHold first(port);
  ASSERT_TRUE(first.Held());
  CUdpPortHold second(port);
  EXPECT_FALSE(second.Held());
  EXPECT_EQ(second.BindError(), EADDRINUSE);
  Sender sender(port);
  EXPECT_FALSE(sender.Refused());
  for (int i = 0; i < 100 && first.Discarded() < 1; ++i) std::this_thread::sleep_for(10ms);
  EXPECT_EQ(first.Discarded(), 1u) << "the datagram went to the first holder";
}

}  // namespace
