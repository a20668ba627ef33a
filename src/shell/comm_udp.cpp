#include "shell/comm_udp.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

void PrintFatalError(const char* text, const char* caption) {
  std::fprintf(stderr, "%s: %s\n", caption, text);
  std::fflush(stderr);
}

std::atomic<CCommUdp::FatalErrorHandler> g_fatalHandler{&PrintFatalError};

[[noreturn]] void Fatal(const char* text) {
  CCommUdp::FatalErrorHandler handler = g_fatalHandler.load();
  (handler ? handler : &PrintFatalError)(text, "ERROR");
  std::exit(0);
}

sockaddr_in LoopbackAddress(int port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return addr;
}

}  // namespace

void CCommUdp::SetFatalErrorHandler(FatalErrorHandler handler) { g_fatalHandler.store(handler); }

CCommUdp::CCommUdp(int firstLocalPort, int localPortCount, int viewerPort)
    : m_firstLocalPort(firstLocalPort),
      m_localPortCount(localPortCount),
      m_viewerPort(viewerPort) {}

CCommUdp::~CCommUdp() { Close(); }

void CCommUdp::SetPorts(int firstLocalPort, int localPortCount, int viewerPort) {
  m_firstLocalPort = firstLocalPort;
  m_localPortCount = localPortCount;
  m_viewerPort = viewerPort;
}

int CCommUdp::TryOpen() {
  if (IsOpen()) return 0;
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return kOpenSocketFailed;
  for (int i = 0; i < m_localPortCount; ++i) {
    const int port = m_firstLocalPort + i;
    if (port <= 0 || port > 65535) break;
    sockaddr_in addr = LoopbackAddress(port);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) {
      m_localPort = port;
      ++m_generation;
      m_socket.store(fd);
      return 0;
    }
  }
  // The range needs cap_net_bind_service, which the window and the CLI do not carry: a port
  // the system picks still brings every line to the viewer.
  sockaddr_in any = LoopbackAddress(0);
  socklen_t length = sizeof any;
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&any), sizeof any) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&any), &length) == 0) {
    m_localPort = ntohs(any.sin_port);
    ++m_generation;
    m_socket.store(fd);
    return 0;
  }
  ::close(fd);
  return kOpenBindFailed;
}

int CCommUdp::Open() {
  const int result = TryOpen();
  if (result == kOpenSocketFailed) Fatal("CommUdp Socket create failed.");
  if (result == kOpenBindFailed) Fatal("CommUdp Socket init failed.");
  return 0;
}

int CCommUdp::Receive(void*, int) { return 0; }

int CCommUdp::Send(const void* data, int length) {
  const int fd = m_socket.load();
  if (fd < 0 || data == nullptr || length < 0) return -1;
  sockaddr_in to = LoopbackAddress(m_viewerPort);
  const ssize_t sent = ::sendto(fd, data, static_cast<size_t>(length), MSG_NOSIGNAL,
                                reinterpret_cast<const sockaddr*>(&to), sizeof to);
  return sent == length ? length : -1;
}

int CCommUdp::SendMany(const uint8_t* const* datagrams, const int* lengths, int count) {
  const int fd = m_socket.load();
  if (fd < 0 || datagrams == nullptr || lengths == nullptr || count < 0) return -1;
  constexpr int kBatch = 64;
  sockaddr_in to = LoopbackAddress(m_viewerPort);
  int handed = 0;
  while (handed < count) {
    mmsghdr messages[kBatch] = {};
    iovec parts[kBatch];
    const int n = count - handed < kBatch ? count - handed : kBatch;
    for (int i = 0; i < n; ++i) {
      parts[i].iov_base = const_cast<uint8_t*>(datagrams[handed + i]);
      parts[i].iov_len = static_cast<size_t>(lengths[handed + i] < 0 ? 0 : lengths[handed + i]);
      messages[i].msg_hdr.msg_name = &to;
      messages[i].msg_hdr.msg_namelen = sizeof to;
      messages[i].msg_hdr.msg_iov = &parts[i];
      messages[i].msg_hdr.msg_iovlen = 1;
    }
    const int sent = ::sendmmsg(fd, messages, static_cast<unsigned int>(n), MSG_NOSIGNAL);
    if (sent <= 0) return handed;
    handed += sent;
    if (sent < n) return handed;
  }
  return handed;
}

int CCommUdp::Close() {
  const int fd = m_socket.exchange(-1);
  ++m_generation;
  if (fd >= 0) ::close(fd);
  m_localPort = 0;
  return 0;
}
