#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

// The firmware download of a simulated device: a plain HTTP/1.0 GET over a socket.

struct SimUrl {
  std::string host;  // dotted IPv4
  uint16_t port = 80;
  std::string path;  // starts with '/'
};

// "http://<IPv4>[:port]/path". False for other schemes, host names or malformed text.
bool ParseHttpUrl(const std::string& url, SimUrl* out);

// Downloads are allowed only from loopback (127.0.0.0/8) and the virtual segment's range
// (10.213.0.0/16): the simulator never reaches out anywhere else.
bool IsAllowedDownloadHost(const std::string& host);

// The Content-Length of a response head (status line and header lines, without the blank line);
// -1 when it has none or a malformed one.
long long ContentLength(const std::string& head);

// GETs the URL; a body shorter or longer than the announced Content-Length is a failure. true for
// status 200 with a non-empty body, whose size goes to *bytes. Gives up after timeoutMs without
// progress. *error says why it failed.
bool HttpDownload(const std::string& url, int timeoutMs, size_t* bytes, std::string* error);

// A one-file web server for tests and probes: answers every GET with the body (status 200), or
// with 404 when the body is empty. Listens on address:port (port 0 picks a free one).
class SimHttpServer {
public:
  SimHttpServer() = default;
  ~SimHttpServer();
  SimHttpServer(const SimHttpServer&) = delete;
  SimHttpServer& operator=(const SimHttpServer&) = delete;

  bool Start(const std::string& address, uint16_t port, std::string body);
  void Stop();
  uint16_t Port() const { return port_; }
  // Announces the whole body but closes the connection `bytes` before its end.
  void CutBodyBy(size_t bytes) { cut_ = bytes; }
  int Requests() const { return requests_; }

private:
  void Serve();
  int fd_ = -1;
  uint16_t port_ = 0;
  std::string body_;
  std::atomic<size_t> cut_{0};
  std::atomic<bool> stop_{false};
  std::atomic<int> requests_{0};
  std::thread thread_;
};
