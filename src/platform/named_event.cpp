#include "platform/named_event.h"

#include <chrono>
#include <map>

namespace {

std::mutex g_registryMutex;
std::map<std::string, std::weak_ptr<CNamedEvent>>& Registry() {
  static std::map<std::string, std::weak_ptr<CNamedEvent>> registry;
  return registry;
}

}  // namespace

CNamedEvent::CNamedEvent(std::string name, bool manualReset, bool initialState)
    : m_name(std::move(name)), m_manualReset(manualReset), m_signalled(initialState) {}

CNamedEvent::~CNamedEvent() {
  std::lock_guard<std::mutex> lock(g_registryMutex);
  auto it = Registry().find(m_name);
  // Only drop the entry if it is still ours (a new event may have taken the name meanwhile).
  if (it != Registry().end() && it->second.expired()) Registry().erase(it);
}

std::shared_ptr<CNamedEvent> CNamedEvent::Create(const std::string& name, bool manualReset,
                                                 bool initialState) {
  std::lock_guard<std::mutex> lock(g_registryMutex);
  auto& slot = Registry()[name];
  if (auto existing = slot.lock()) return existing;
  std::shared_ptr<CNamedEvent> ev(new CNamedEvent(name, manualReset, initialState));
  slot = ev;
  return ev;
}

std::shared_ptr<CNamedEvent> CNamedEvent::Open(const std::string& name) {
  std::lock_guard<std::mutex> lock(g_registryMutex);
  auto it = Registry().find(name);
  return it == Registry().end() ? nullptr : it->second.lock();
}

void CNamedEvent::Set() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_signalled = true;
  }
  if (m_manualReset)
    m_cond.notify_all();
  else
    m_cond.notify_one();
}

void CNamedEvent::Reset() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_signalled = false;
}

bool CNamedEvent::Wait(int timeoutMs) {
  std::unique_lock<std::mutex> lock(m_mutex);
  auto ready = [this] { return m_signalled; };
  if (timeoutMs < 0) {
    m_cond.wait(lock, ready);
  } else if (!m_cond.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready)) {
    return false;
  }
  if (!m_manualReset) m_signalled = false;
  return true;
}
