#include "protocol/fallback_budget.h"

void CFallbackBudget::StartWindow(int64_t nowMs) {
  const int64_t window = nowMs / 1000;
  if (window == window_) return;
  window_ = window;
  spent_ = 0;
  refusedThisWindow_ = false;
}

bool CFallbackBudget::Allow(int64_t nowMs, bool* firstRefusal) {
  std::lock_guard<std::mutex> guard(lock_);
  StartWindow(nowMs);
  if (firstRefusal != nullptr) *firstRefusal = false;
  if (spent_ < limit_) return true;
  ++refused_;
  if (firstRefusal != nullptr) *firstRefusal = !refusedThisWindow_;
  refusedThisWindow_ = true;
  return false;
}

void CFallbackBudget::Spend(int64_t keyTries) {
  std::lock_guard<std::mutex> guard(lock_);
  spent_ += keyTries;
}

int64_t CFallbackBudget::Left() const {
  std::lock_guard<std::mutex> guard(lock_);
  return spent_ < limit_ ? limit_ - spent_ : 0;
}

uint64_t CFallbackBudget::Refused() const {
  std::lock_guard<std::mutex> guard(lock_);
  return refused_;
}
