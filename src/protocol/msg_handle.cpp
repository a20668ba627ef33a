#include "protocol/msg_handle.h"

#include <chrono>
#include <utility>

#include "shell/log.h"

CMsgHandle* CMsgHandle::GetInstance() {
  static CMsgHandle* instance = new CMsgHandle();  // lives until the process ends
  return instance;
}

CMsgHandle::CMsgHandle(int64_t fallbackKeyTriesPerSecond) : budget_(fallbackKeyTriesPerSecond) {}

void CMsgHandle::SetFallbackKeySource(KeySource source) { keySource_ = std::move(source); }

CMsgHandle::KeyList CMsgHandle::FallbackKeys() const {
  if (keySource_) return std::make_shared<const std::vector<std::string>>(keySource_());
  DefaultKeySource source;
  {
    std::lock_guard<std::mutex> lock(defaultSourceLock_);
    source = defaultKeySource_;
  }
  return source ? source() : nullptr;
}

void CMsgHandle::SetDefaultFallbackKeySource(DefaultKeySource source) {
  std::lock_guard<std::mutex> lock(defaultSourceLock_);
  defaultKeySource_ = std::move(source);
}

bool CMsgHandle::AllowFallback() {
  const int64_t nowMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count();
  bool firstRefusal = false;
  if (budget_.Allow(nowMs, &firstRefusal)) return true;
  if (firstRefusal) {
    LogError(
        "%s: more than %lld fallback key tries this second; other keys not tried until the "
        "next second (%llu datagrams so far).",
        "CMsgHandle::LoadDocument", static_cast<long long>(kFallbackKeyTriesPerSecond),
        static_cast<unsigned long long>(budget_.Refused()));
  }
  return false;
}
