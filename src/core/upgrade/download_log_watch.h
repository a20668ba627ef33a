#pragma once

#include <cstdint>
#include <set>
#include <string>

// Follows our web server's access log to tell which devices began to fetch one image: a device
// that was sent an upgrade request but shows no GET of the image from its address has most
// likely not heard the request. Reads only what was appended since the last look, from where the
// file ended when the watch began; a log that shrank (rotated, truncated) is read from its start.
class CDownloadLogWatch {
public:
  // The server's access log (CNginxServer::Prefix() + "logs/access.log").
  static std::string DefaultLogPath();

  CDownloadLogWatch(std::string logPath, const std::string& imageName);

  // Reads the lines appended since the last call (a missing log reads as empty).
  void Poll();
  // A GET of the image from this address was logged since the watch began.
  bool Fetched(const std::string& ip) const { return m_fetched.count(ip) != 0; }

  // One access log line ("ADDR - - [time] \"GET /download/rom/NAME HTTP/1.0\" ..."): the client
  // address when the line is a GET of `requestPath`, else "".
  static std::string GetterOf(const std::string& line, const std::string& requestPath);

private:
  std::string m_path;
  std::string m_requestPath;  // "/download/rom/<image>"
  uint64_t m_offset = 0;
  std::string m_partial;  // a last line without its newline yet
  std::set<std::string> m_fetched;
};
