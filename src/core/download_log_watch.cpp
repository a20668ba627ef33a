#include "core/download_log_watch.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "platform/nginx_server.h"

namespace {

// A line longer than this is no request of ours; it is dropped instead of held in memory.
constexpr size_t kMaxLineBytes = 16384;

uint64_t FileSize(const std::string& path) {
  std::error_code ec;
  const uintmax_t size = std::filesystem::file_size(path, ec);
  return ec ? 0 : static_cast<uint64_t>(size);
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
  const uint64_t size = FileSize(m_path);
  if (size < m_offset) {  // rotated or truncated
    m_offset = 0;
    m_partial.clear();
  }
  if (size == m_offset) return;
  std::ifstream in(m_path, std::ios::binary);
  if (!in) return;
  in.seekg(static_cast<std::streamoff>(m_offset));
  // At most 1 MiB a look, so a flooded log cannot make one look hold it all.
  std::string chunk(static_cast<size_t>(std::min<uint64_t>(size - m_offset, 1u << 20)), '\0');
  in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
  chunk.resize(static_cast<size_t>(in.gcount()));
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
