#include "shell/entry_bound.h"

#include <chrono>

#include "shell/log.h"

bool CEntryBound::Admit(size_t size) {
  if (size < limit_) return true;
  const uint64_t refused = refused_.fetch_add(1, std::memory_order_relaxed) + 1;
  const int64_t second = std::chrono::duration_cast<std::chrono::seconds>(
                             std::chrono::steady_clock::now().time_since_epoch())
                             .count();
  int64_t last = logSecond_.load(std::memory_order_relaxed);
  if (last != second && logSecond_.compare_exchange_strong(last, second)) {
    LogError("%s is full (%zu entries): new devices refused (%llu so far).", what_, limit_,
             static_cast<unsigned long long>(refused));
  }
  return false;
}
