#pragma once

#include <cstdint>
#include <mutex>

// How many device keys the reply parsers may try per second on datagrams that their own key
// does not open. Trying every key of a large table is the expensive path: without a limit,
// anyone on the segment can keep the worker thread busy with junk that fits no key. Within
// the budget the fallback runs as always; past it, datagrams are parsed with their own key
// only until the next second starts. Thread-safe.
class CFallbackBudget {
public:
  explicit CFallbackBudget(int64_t keyTriesPerSecond) : limit_(keyTriesPerSecond) {}

  // True when the fallback may run at nowMs (milliseconds of any steady clock). On a refusal,
  // *firstRefusal tells whether it is the first one of this second (so the caller logs once).
  bool Allow(int64_t nowMs, bool* firstRefusal);
  // Key tries left in the current second; a fallback that Allow let run tries no more than this,
  // so a large table cannot carry a sweep past the budget.
  int64_t Left() const;
  // Counts keyTries keys tried by a fallback that Allow let run.
  void Spend(int64_t keyTries);
  // Datagrams refused so far.
  uint64_t Refused() const;

private:
  void StartWindow(int64_t nowMs);  // lock_ held

  const int64_t limit_;
  mutable std::mutex lock_;
  int64_t window_ = -1;  // the current second (nowMs / 1000)
  int64_t spent_ = 0;
  bool refusedThisWindow_ = false;
  uint64_t refused_ = 0;
};
