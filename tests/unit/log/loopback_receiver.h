#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

// A UDP socket on 127.0.0.1 with a port chosen by the kernel, standing in for the log viewer.
class LoopbackReceiver {
public:
  LoopbackReceiver() {
    fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
      socklen_t len = sizeof addr;
      ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
      port_ = ntohs(addr.sin_port);
    }
  }
  ~LoopbackReceiver() {
    if (fd_ >= 0) ::close(fd_);
  }
  LoopbackReceiver(const LoopbackReceiver&) = delete;
  LoopbackReceiver& operator=(const LoopbackReceiver&) = delete;

  int port() const { return port_; }

  // Next datagram within timeoutMs; false when none came. *sourcePort gets the sender's port.
  bool Receive(std::vector<uint8_t>* out, int timeoutMs = 2000, int* sourcePort = nullptr) {
    pollfd pfd{fd_, POLLIN, 0};
    if (::poll(&pfd, 1, timeoutMs) != 1) return false;
    uint8_t buffer[65536];
    sockaddr_in from{};
    socklen_t len = sizeof from;
    const ssize_t n =
        ::recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &len);
    if (n < 0) return false;
    out->assign(buffer, buffer + n);
    if (sourcePort) *sourcePort = ntohs(from.sin_port);
    return true;
  }

private:
  int fd_ = -1;
  int port_ = 0;
};

// A loopback UDP port that was free a moment ago (kernel choice), for a channel's local range.
inline int FreeLoopbackPort() {
  LoopbackReceiver probe;
  return probe.port();
}
