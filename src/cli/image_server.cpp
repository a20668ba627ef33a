#include "cli/image_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "core/upgrade_image_store.h"
#include "shell/global_utils.h"

namespace {

constexpr uint16_t kWebServerPort = 8088;

// HEAD of the image on the local web server: its status and Content-Length, or -1 when the
// server does not answer.
int HeadStatus(const std::string& imageName, long long* length) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(kWebServerPort);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int status = -1;
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0) {
    const std::string request =
        "HEAD /download/rom/" + imageName + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
        static_cast<ssize_t>(request.size())) {
      std::string head;
      char buffer[1024];
      pollfd p{fd, POLLIN, 0};
      while (head.size() < 16384 && poll(&p, 1, 2000) == 1) {
        const ssize_t n = recv(fd, buffer, sizeof(buffer), 0);
        if (n <= 0) break;
        head.append(buffer, static_cast<size_t>(n));
      }
      const size_t space = head.find(' ');
      if (head.compare(0, 5, "HTTP/") == 0 && space != std::string::npos) {
        status = std::atoi(head.c_str() + space + 1);
        const size_t at = head.find("\r\nContent-Length:");
        *length = at == std::string::npos ? -1 : std::atoll(head.c_str() + at + 17);
      }
    }
  }
  close(fd);
  return status;
}

}  // namespace

CImageServer::~CImageServer() {
  RemoveUpgradeImage(m_imageName);
  m_server.Stop();
}

std::string CImageServer::Serve(const std::string& imagePath, std::string* error) {
  m_imageName = StoreUpgradeImage(imagePath, error);
  if (m_imageName.empty()) return {};
  std::error_code ec;
  const long long size = static_cast<long long>(
      std::filesystem::file_size(CGlobalUtils::RomDownloadPath(m_imageName), ec));
  // A server already listening on the port (the window's, from the same folder) is as good as
  // ours, as long as it hands out this image.
  const bool started = m_server.StartNginx();
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  int status = -1;
  long long length = -1;
  while (std::chrono::steady_clock::now() < until) {
    status = HeadStatus(m_imageName, &length);
    if (status == 200 && length == size) return m_imageName;
    if (started && !m_server.Running() && status < 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (status < 0) {
    *error = std::string("the web server ") +
             (started ? "did not come up" : "could not be started") + " on port 8088 (see " +
             CNginxServer::Prefix() + "logs/error.log)";
  } else {
    *error = "the web server on port 8088 does not serve " + m_imageName + " (HTTP status " +
             std::to_string(status) + ", " + std::to_string(length) + " of " +
             std::to_string(size) + " bytes)";
  }
  return {};
}
