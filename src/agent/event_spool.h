#pragma once

#include <cstdint>
#include <cstdio>
#include <deque>
#include <set>
#include <string>
#include <utility>
#include <vector>

// The site agent's events on their way to the broker. Each event gets the next sequence number
// and stays until the broker has acknowledged it, in memory and, when a file is given, on disk,
// so that events raised while the broker is away (or the agent restarts) are delivered later, in
// their order. Bounded: past maxEvents the oldest unacknowledged events are dropped and counted.
//
// The file is a log of lines: "E <seq> <payload>" for an event, "A <seq>" when every event up to
// seq is acknowledged. It is rewritten with only the pending events when it has grown. A torn
// last line (the agent killed while writing) is ignored on load.
class CEventSpool {
public:
  struct EVENT_T {
    uint64_t seq = 0;
    std::string payload;
  };

  // path: "" for memory only. maxEvents >= 1.
  CEventSpool(std::string path, size_t maxEvents);
  ~CEventSpool();
  CEventSpool(const CEventSpool&) = delete;
  CEventSpool& operator=(const CEventSpool&) = delete;

  // Reads what an earlier run left. False with a reason when the file exists but cannot be read
  // or written; the spool then works in memory only.
  bool Load(std::string* error);

  // The payload may not contain a line break (JSON on one line). Returns its sequence number.
  uint64_t Append(const std::string& payload);
  // The broker acknowledged this event (in any order).
  void Acknowledge(uint64_t seq);
  // Writes what was appended or acknowledged since the last call to disk (one write and one
  // fdatasync); the agent calls it once per look, so a burst of events costs one sync.
  void Flush();

  // Pending events from seq `from` on (inclusive), at most `limit`, in order.
  std::vector<EVENT_T> PendingFrom(uint64_t from, size_t limit) const;
  // The first pending sequence number, or NextSeq() when nothing is pending.
  uint64_t FirstPending() const;
  uint64_t NextSeq() const { return m_nextSeq; }
  size_t PendingCount() const { return m_pending.size(); }
  uint64_t Dropped() const { return m_dropped; }
  bool OnDisk() const { return m_file != nullptr; }

private:
  void Compact();
  void WriteLine(const std::string& line);

  std::string m_path;
  size_t m_maxEvents;
  std::FILE* m_file = nullptr;
  std::deque<EVENT_T> m_pending;    // in sequence order
  std::set<uint64_t> m_ackedAhead;  // acknowledged, but an earlier one is still pending
  uint64_t m_nextSeq = 1;
  uint64_t m_dropped = 0;
  std::string m_unwritten;  // lines for the next Flush
  size_t m_linesInFile = 0;
};
