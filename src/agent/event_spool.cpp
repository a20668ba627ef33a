#include "agent/event_spool.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

namespace {

// The file is rewritten once it holds this many lines more than there are pending events.
constexpr size_t kCompactSlack = 4096;

bool ParseSeq(const std::string& text, uint64_t* seq) {
  if (text.empty() || text.size() > 19) return false;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  *seq = value;
  return value > 0;
}

}  // namespace

CEventSpool::CEventSpool(std::string path, size_t maxEvents)
    : m_path(std::move(path)), m_maxEvents(std::max<size_t>(1, maxEvents)) {}

CEventSpool::~CEventSpool() {
  Flush();
  if (m_file) std::fclose(m_file);
}

bool CEventSpool::Load(std::string* error) {
  if (m_path.empty()) return true;
  uint64_t ackedUpTo = 0;
  {
    std::ifstream in(m_path, std::ios::binary);
    std::string line;
    while (in && std::getline(in, line)) {
      if (in.eof()) break;  // no line end: torn by a kill in the middle of a write
      if (line.size() < 3 || line[1] != ' ') continue;
      const size_t space = line.find(' ', 2);
      uint64_t seq = 0;
      if (line[0] == 'E' && space != std::string::npos &&
          ParseSeq(line.substr(2, space - 2), &seq)) {
        if (seq >= m_nextSeq) {
          m_pending.push_back({seq, line.substr(space + 1)});
          m_nextSeq = seq + 1;
        }
      } else if (line[0] == 'A' && ParseSeq(line.substr(2), &seq)) {
        ackedUpTo = std::max(ackedUpTo, seq);
        m_nextSeq = std::max(m_nextSeq, seq + 1);
      }
    }
  }
  while (!m_pending.empty() && m_pending.front().seq <= ackedUpTo) m_pending.pop_front();
  while (m_pending.size() > m_maxEvents) {
    m_pending.pop_front();
    ++m_dropped;
  }
  // Start the file anew with what is still pending (and the sequence reached, so numbers keep
  // growing across runs).
  const std::string temp = m_path + ".new";
  std::FILE* out = std::fopen(temp.c_str(), "wbe");
  if (!out) {
    *error = "cannot write " + temp + ": " + std::strerror(errno);
    return false;
  }
  std::string text = "A " + std::to_string(m_nextSeq - 1) + "\n";
  for (const EVENT_T& e : m_pending) text += "E " + std::to_string(e.seq) + " " + e.payload + "\n";
  const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size() &&
                       std::fflush(out) == 0 && fdatasync(fileno(out)) == 0;
  std::fclose(out);
  if (!written || std::rename(temp.c_str(), m_path.c_str()) != 0) {
    *error = "cannot write " + m_path + ": " + std::strerror(errno);
    std::remove(temp.c_str());
    return false;
  }
  m_file = std::fopen(m_path.c_str(), "abe");
  if (!m_file) {
    *error = "cannot open " + m_path + ": " + std::strerror(errno);
    return false;
  }
  m_linesInFile = m_pending.size() + 1;
  return true;
}

uint64_t CEventSpool::Append(const std::string& payload) {
  const uint64_t seq = m_nextSeq++;
  m_pending.push_back({seq, payload});
  WriteLine("E " + std::to_string(seq) + " " + payload);
  while (m_pending.size() > m_maxEvents) {
    m_pending.pop_front();
    ++m_dropped;
    // What was dropped counts as done, so a restart does not bring it back.
    m_ackedAhead.erase(m_ackedAhead.begin(), m_ackedAhead.upper_bound(m_pending.front().seq - 1));
    WriteLine("A " + std::to_string(m_pending.front().seq - 1));
  }
  return seq;
}

void CEventSpool::Acknowledge(uint64_t seq) {
  if (m_pending.empty() || seq < m_pending.front().seq || seq >= m_nextSeq) return;
  m_ackedAhead.insert(seq);
  bool advanced = false;
  while (!m_pending.empty() && m_ackedAhead.count(m_pending.front().seq)) {
    m_ackedAhead.erase(m_pending.front().seq);
    m_pending.pop_front();
    advanced = true;
  }
  if (advanced) WriteLine("A " + std::to_string(FirstPending() - 1));
}

uint64_t CEventSpool::FirstPending() const {
  return m_pending.empty() ? m_nextSeq : m_pending.front().seq;
}

std::vector<CEventSpool::EVENT_T> CEventSpool::PendingFrom(uint64_t from, size_t limit) const {
  std::vector<EVENT_T> out;
  auto it = std::lower_bound(m_pending.begin(), m_pending.end(), from,
                             [](const EVENT_T& e, uint64_t seq) { return e.seq < seq; });
  for (; it != m_pending.end() && out.size() < limit; ++it) {
    if (!m_ackedAhead.count(it->seq)) out.push_back(*it);
  }
  return out;
}

void CEventSpool::WriteLine(const std::string& line) {
  if (!m_file) return;
  m_unwritten += line;
  m_unwritten += '\n';
  ++m_linesInFile;
}

void CEventSpool::Flush() {
  if (!m_file || m_unwritten.empty()) return;
  const bool ok =
      std::fwrite(m_unwritten.data(), 1, m_unwritten.size(), m_file) == m_unwritten.size() &&
      std::fflush(m_file) == 0;
  m_unwritten.clear();
  if (ok) fdatasync(fileno(m_file));
  if (m_linesInFile > m_pending.size() + kCompactSlack) Compact();
}

void CEventSpool::Compact() {
  std::fclose(m_file);
  m_file = nullptr;
  // Load rewrites the file with only the pending events; the file was flushed just before, so
  // it holds everything memory does except acknowledgements that arrived out of order.
  const std::set<uint64_t> ackedAhead = std::move(m_ackedAhead);
  const uint64_t dropped = m_dropped;
  const uint64_t next = m_nextSeq;
  m_pending.clear();
  m_ackedAhead.clear();
  m_nextSeq = 1;
  std::string ignored;
  Load(&ignored);
  m_nextSeq = std::max(m_nextSeq, next);
  m_dropped = dropped;
  for (uint64_t seq : ackedAhead) {
    if (seq >= FirstPending()) m_ackedAhead.insert(seq);
  }
}
