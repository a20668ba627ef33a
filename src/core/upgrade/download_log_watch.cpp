#include "core/upgrade/download_log_watch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "webserver/nginx_server.h"

namespace {

// A line longer than this is no request of ours; it is dropped instead of held in memory.
constexpr size_t kMaxLineBytes = 16384;

// The log, opened without following a link: under root the web server's unprivileged account
// owns the folder it lies in. -1 when it is missing or no plain file.
int OpenLog(const std::string& path, uint64_t* size) {
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return -1;
  }
  *size = static_cast<uint64_t>(st.st_size);
  return fd;
}

uint64_t FileSize(const std::string& path) {
  uint64_t size = 0;
  const int fd = OpenLog(path, &size);
  if (fd >= 0) close(fd);
  return size;
}

}  // namespace

std::string CDownloadLogWatch::DefaultLogPath() {
  return CNginxServer::Prefix() + "logs/access.log";
}

CDownloadLogWatch::CDownloadLogWatch(std::string logPath, const std::string& imageName)
    : m_path(std::move(logPath)),
      m_requestPath("/download/rom/" + imageName),
      m_offset(FileSize(m_path)) {}

std::string CDownloadLogWatch::GetterOf(const std::string& line, const std::string& requestPath) {
  const size_t space = line.find(' ');
  const size_t quote = line.find('"');
  if (space == std::string::npos || space == 0 || quote == std::string::npos) return {};
  const std::string request = "\"GET " + requestPath;
  if (line.compare(quote, request.size(), request) != 0) return {};
  // The path ends there: a space before the protocol, or a query.
  const char next = quote + request.size() < line.size() ? line[quote + request.size()] : '\0';
  if (next != ' ' && next != '?' && next != '"') return {};
  return line.substr(0, space);
}

void CDownloadLogWatch::Poll() {
  uint64_t size = 0;
  const int fd = OpenLog(m_path, &size);
  if (fd < 0) return;
  if (size < m_offset) {  // rotated or truncated
    m_offset = 0;
    m_partial.clear();
  }
  // At most 1 MiB a look, so a flooded log cannot make one look hold it all.
  std::string chunk(static_cast<size_t>(std::min<uint64_t>(size - m_offset, 1u << 20)), '\0');
  const ssize_t got =
      chunk.empty() ? 0 : pread(fd, chunk.data(), chunk.size(), static_cast<off_t>(m_offset));
  close(fd);
  chunk.resize(got > 0 ? static_cast<size_t>(got) : 0);
  if (chunk.empty()) return;
  m_offset += chunk.size();
  size_t start = 0;
  for (size_t end; (end = chunk.find('\n', start)) != std::string::npos; start = end + 1) {
    m_partial.append(chunk, start, end - start);
    const std::string ip = GetterOf(m_partial, m_requestPath);
    if (!ip.empty()) m_fetched.insert(ip);
    m_partial.clear();
  }
  m_partial.append(chunk, start, std::string::npos);
  if (m_partial.size() > kMaxLineBytes) m_partial.clear();
}
