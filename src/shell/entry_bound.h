#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

// A limit on a table that grows with what the segment sends. A plain discovery answer needs no
// key to forge, so anyone on the segment can invent MACs; each table keyed by them stops at its
// bound and refuses new keys. Refusals are counted and logged at most once a second, so a flood
// neither grows memory nor floods the log. Thread-safe.
class CEntryBound {
public:
  // Room for a /16 twice over: the largest site the program serves fits with room to spare.
  static constexpr size_t kDefaultLimit = 131072;

  // what: the table's name in the log line ("device table").
  CEntryBound(const char* what, size_t limit = kDefaultLimit) : what_(what), limit_(limit) {}

  // Whether a table now holding `size` entries may take one more; a refusal is counted.
  bool Admit(size_t size);
  size_t Limit() const { return limit_; }
  uint64_t Refused() const { return refused_.load(std::memory_order_relaxed); }

private:
  const char* what_;
  const size_t limit_;
  std::atomic<uint64_t> refused_{0};
  std::atomic<int64_t> logSecond_{-1};  // the second of the last refusal line
};
