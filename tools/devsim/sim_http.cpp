#include "sim_http.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

bool ParseHttpUrl(const std::string& url, SimUrl* out) {
  const std::string scheme = "http://";
  if (url.compare(0, scheme.size(), scheme) != 0) return false;
  const size_t hostStart = scheme.size();
  size_t slash = url.find('/', hostStart);
  if (slash == std::string::npos) slash = url.size();
  std::string hostPort = url.substr(hostStart, slash - hostStart);
  SimUrl result;
  result.path = slash < url.size() ? url.substr(slash) : "/";
  const size_t colon = hostPort.find(':');
  if (colon != std::string::npos) {
    const std::string portText = hostPort.substr(colon + 1);
    if (portText.empty() || portText.size() > 5 ||
        portText.find_first_not_of("0123456789") != std::string::npos)
      return false;
    const long port = std::strtol(portText.c_str(), nullptr, 10);
    if (port < 1 || port > 65535) return false;
    result.port = static_cast<uint16_t>(port);
    hostPort.resize(colon);
  }
  in_addr addr{};
  if (inet_pton(AF_INET, hostPort.c_str(), &addr) != 1) return false;
  result.host = hostPort;
  *out = result;
  return true;
}

bool IsAllowedDownloadHost(const std::string& host) {
  in_addr addr{};
  if (inet_pton(AF_INET, host.c_str(), &addr) != 1) return false;
  const uint32_t ip = ntohl(addr.s_addr);
  return (ip >> 24) == 127 || (ip >> 16) == 0x0AD5;
}

long long ContentLength(const std::string& head) {
  // Header names are case-insensitive; the value is decimal digits.
  size_t at = 0;
  while ((at = head.find("\r\n", at)) != std::string::npos) {
    at += 2;
    static const char kName[] = "content-length:";
    size_t i = 0;
    while (kName[i] && at + i < head.size() &&
           std::tolower(static_cast<unsigned char>(head[at + i])) == kName[i])
      ++i;
    if (kName[i] != 0) continue;
    size_t v = at + i;
    while (v < head.size() && (head[v] == ' ' || head[v] == '\t')) ++v;
    if (v >= head.size() || !std::isdigit(static_cast<unsigned char>(head[v]))) return -1;
    return std::strtoll(head.c_str() + v, nullptr, 10);
  }
  return -1;
}

bool HttpDownload(const std::string& url, int timeoutMs, size_t* bytes, std::string* error) {
  SimUrl target;
  if (!ParseHttpUrl(url, &target)) {
    *error = "not an http://<IPv4>/ address: " + url;
    return false;
  }
  if (!IsAllowedDownloadHost(target.host)) {
    *error = "download host " + target.host + " is outside loopback and the test segment";
    return false;
  }
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *error = std::string("socket: ") + std::strerror(errno);
    return false;
  }
  auto fail = [&](const std::string& text) {
    *error = text;
    close(fd);
    return false;
  };
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(target.port);
  inet_pton(AF_INET, target.host.c_str(), &peer.sin_addr);
  if (connect(fd, reinterpret_cast<sockaddr*>(&peer), sizeof(peer)) != 0 && errno != EINPROGRESS)
    return fail(std::string("connect: ") + std::strerror(errno));
  pollfd p{fd, POLLOUT, 0};
  if (poll(&p, 1, timeoutMs) != 1) return fail("connect timed out");
  int soError = 0;
  socklen_t len = sizeof(soError);
  getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len);
  if (soError != 0) return fail(std::string("connect: ") + std::strerror(soError));

  const std::string request = "GET " + target.path + " HTTP/1.0\r\nHost: " + target.host + ":" +
                              std::to_string(target.port) + "\r\nUser-Agent: devsim\r\n\r\n";
  size_t sent = 0;
  while (sent < request.size()) {
    p = {fd, POLLOUT, 0};
    if (poll(&p, 1, timeoutMs) != 1) return fail("send timed out");
    const ssize_t n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno != EAGAIN) return fail(std::string("send: ") + std::strerror(errno));
    if (n > 0) sent += static_cast<size_t>(n);
  }

  std::string head;
  size_t body = 0;
  bool headDone = false;
  char buffer[16384];
  for (;;) {
    p = {fd, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) != 1) return fail("receive timed out");
    const ssize_t n = recv(fd, buffer, sizeof(buffer), 0);
    if (n < 0) {
      if (errno == EAGAIN || errno == EINTR) continue;
      return fail(std::string("recv: ") + std::strerror(errno));
    }
    if (n == 0) break;
    if (headDone) {
      body += static_cast<size_t>(n);
      continue;
    }
    head.append(buffer, static_cast<size_t>(n));
    const size_t end = head.find("\r\n\r\n");
    if (end != std::string::npos) {
      headDone = true;
      body = head.size() - (end + 4);
      head.resize(end);
    } else if (head.size() > 65536) {
      return fail("response header too long");
    }
  }
  close(fd);
  if (!headDone) {
    *error = "no complete response";
    return false;
  }
  // Status line: "HTTP/1.x 200 ..."
  const size_t space = head.find(' ');
  const int status = space == std::string::npos ? 0 : std::atoi(head.c_str() + space + 1);
  if (status != 200) {
    *error = "HTTP status " + std::to_string(status);
    return false;
  }
  if (body == 0) {
    *error = "empty image";
    return false;
  }
  // A connection that ends early looks like the end of the body: only the announced length
  // tells a whole image from part of one.
  const long long announced = ContentLength(head);
  if (announced >= 0 && static_cast<unsigned long long>(announced) != body) {
    *error =
        "incomplete image: " + std::to_string(body) + " of " + std::to_string(announced) + " bytes";
    return false;
  }
  *bytes = body;
  return true;
}

SimHttpServer::~SimHttpServer() { Stop(); }

bool SimHttpServer::Start(const std::string& address, uint16_t port, std::string body) {
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) return false;
  int one = 1;
  setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  if (inet_pton(AF_INET, address.c_str(), &addr.sin_addr) != 1 ||
      bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 || listen(fd_, 16) != 0) {
    close(fd_);
    fd_ = -1;
    return false;
  }
  socklen_t len = sizeof(addr);
  getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  body_ = std::move(body);
  stop_ = false;
  thread_ = std::thread(&SimHttpServer::Serve, this);
  return true;
}

void SimHttpServer::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

void SimHttpServer::Serve() {
  while (!stop_) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, 50) != 1) continue;
    const int client = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    // Read the request head (bounded), then answer and close.
    std::string head;
    char buffer[2048];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 16384) {
      pollfd c{client, POLLIN, 0};
      if (poll(&c, 1, 2000) != 1) break;
      const ssize_t n = recv(client, buffer, sizeof(buffer), 0);
      if (n <= 0) break;
      head.append(buffer, static_cast<size_t>(n));
    }
    ++requests_;
    const bool found = !body_.empty();
    std::string response = std::string("HTTP/1.0 ") + (found ? "200 OK" : "404 Not Found") +
                           "\r\nContent-Length: " + std::to_string(body_.size()) +
                           "\r\nConnection: close\r\n\r\n" + body_;
    response.resize(response.size() - std::min<size_t>(cut_, body_.size()));
    size_t sent = 0;
    while (sent < response.size()) {
      const ssize_t n = send(client, response.data() + sent, response.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += static_cast<size_t>(n);
    }
    close(client);
  }
}
