#include "cli/image_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "core/upgrade/upgrade_image_store.h"
#include "shell/global_utils.h"

namespace {

constexpr uint16_t kWebServerPort = 8088;

// What the local web server answered to a full GET of the image.
struct ServedImage {
  int status = -1;  // HTTP status, -1 when nothing answered
  long long bodyBytes = 0;
  std::string sha256;  // of the body, hex
};

std::string Hex(const unsigned char* bytes, unsigned length) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (unsigned i = 0; i < length; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 15];
  }
  return text;
}

// SHA-256 (hex) of everything `read` hands out until it returns 0 or less.
template <class Read>
std::string Sha256Of(Read read, long long* total) {
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  EVP_DigestInit_ex(context, EVP_sha256(), nullptr);
  char buffer[65536];
  *total = 0;
  for (ssize_t n; (n = read(buffer, sizeof(buffer))) > 0;) {
    EVP_DigestUpdate(context, buffer, static_cast<size_t>(n));
    *total += n;
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned length = 0;
  EVP_DigestFinal_ex(context, digest, &length);
  EVP_MD_CTX_free(context);
  return Hex(digest, length);
}

std::string FileSha256(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  long long total = 0;
  return Sha256Of(
      [&](char* buffer, size_t size) -> ssize_t {
        file.read(buffer, static_cast<std::streamsize>(size));
        return static_cast<ssize_t>(file.gcount());
      },
      &total);
}

// GET of the image on the local web server, the whole body hashed.
ServedImage GetServedImage(const std::string& imageName) {
  ServedImage served;
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return served;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(kWebServerPort);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const std::string request =
      "GET /download/rom/" + imageName + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0 &&
      send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
          static_cast<ssize_t>(request.size())) {
    auto receive = [fd](char* buffer, size_t size) -> ssize_t {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 2000) != 1) return -1;
      return recv(fd, buffer, size, 0);
    };
    // The head, then whatever of the body came with it.
    std::string head;
    char buffer[4096];
    size_t end = std::string::npos;
    while (head.size() < 16384 && (end = head.find("\r\n\r\n")) == std::string::npos) {
      const ssize_t n = receive(buffer, sizeof(buffer));
      if (n <= 0) break;
      head.append(buffer, static_cast<size_t>(n));
    }
    const size_t space = head.find(' ');
    if (end != std::string::npos && head.compare(0, 5, "HTTP/") == 0 &&
        space != std::string::npos) {
      served.status = std::atoi(head.c_str() + space + 1);
      std::string early = head.substr(end + 4);
      served.sha256 = Sha256Of(
          [&](char* out, size_t size) -> ssize_t {
            if (!early.empty()) {
              const size_t n = std::min(size, early.size());
              std::memcpy(out, early.data(), n);
              early.erase(0, n);
              return static_cast<ssize_t>(n);
            }
            return receive(out, size);
          },
          &served.bodyBytes);
    }
  }
  close(fd);
  return served;
}

// Whether another process already listens on the web server's port (on any address).
bool PortHeldByOther() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(kWebServerPort);
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  const bool held =
      bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 && errno == EADDRINUSE;
  close(fd);
  return held;
}

}  // namespace

CImageServer::~CImageServer() {
  RemoveUpgradeImage(m_imageName);
  m_server.Stop();
}

std::string CImageServer::Serve(const std::string& imagePath, std::string* error) {
  // Devices must get the image from our own server, never from whatever else holds the port: a
  // 200 with the right length from any server proves nothing.
  if (PortHeldByOther()) {
    *error =
        "another process already holds port 8088; end it (or close the window, whose web "
        "server it may be) and try again";
    return {};
  }
  m_imageName = StoreUpgradeImage(imagePath, error);
  if (m_imageName.empty()) return {};
  const std::string wanted = FileSha256(CGlobalUtils::RomDownloadPath(m_imageName));
  if (!m_server.StartNginx()) {
    *error = m_server.Failure().empty()
                 ? "the web server could not be started (see " + CNginxServer::KeptErrorLog() + ")"
                 : "the web server is not started: " + m_server.Failure();
    return {};
  }
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  ServedImage served;
  while (std::chrono::steady_clock::now() < until && m_server.Running()) {
    served = GetServedImage(m_imageName);
    if (served.status == 200 && served.sha256 == wanted) return m_imageName;
    if (served.status >= 0) break;  // it answered, and not with the image
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (!m_server.Running()) {
    *error = "the web server ended at its start (see " + CNginxServer::KeptErrorLog() + ")";
  } else if (served.status < 0) {
    *error =
        "the web server did not come up on port 8088 (see " + CNginxServer::KeptErrorLog() + ")";
  } else {
    *error = "the web server on port 8088 does not serve " + m_imageName +
             " as it is (HTTP status " + std::to_string(served.status) + ", " +
             std::to_string(served.bodyBytes) + " bytes, checksum " +
             (served.sha256 == wanted ? "matches" : "differs") + ")";
  }
  return {};
}
