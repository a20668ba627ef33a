#include "platform/udp_port_hold.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

CUdpPortHold::CUdpPortHold(uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    m_error = errno;
    return;
  }
  // No SO_REUSEADDR: the port is ours alone, and a program that already holds it keeps it.
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  addr.sin_port = htons(port);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
    m_error = errno;
    ::close(fd);
    return;
  }
  m_wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (m_wake < 0) {
    // The socket alone keeps the kernel quiet; unread datagrams are dropped once its buffer is
    // full. Without the thread nobody reads them, which costs only that buffer.
    m_socket = fd;
    return;
  }
  m_socket = fd;
  m_thread = std::thread(&CUdpPortHold::Drain, this);
  pthread_setname_np(m_thread.native_handle(), "port-hold");
}

CUdpPortHold::~CUdpPortHold() {
  if (m_thread.joinable()) {
    const uint64_t one = 1;
    if (::write(m_wake, &one, sizeof one) < 0) {
      // An eventfd write fails only when its counter would overflow; the thread wakes anyway.
    }
    m_thread.join();
  }
  if (m_wake >= 0) ::close(m_wake);
  if (m_socket >= 0) ::close(m_socket);
}

void CUdpPortHold::Drain() {
  char buffer[2048];
  for (;;) {
    pollfd fds[2] = {{m_socket, POLLIN, 0}, {m_wake, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents != 0) return;
    // Everything waiting, then back to poll; the datagrams' contents are of no interest (the
    // capture has them).
    while (::recv(m_socket, buffer, sizeof buffer, MSG_DONTWAIT | MSG_TRUNC) >= 0) ++m_discarded;
  }
}
