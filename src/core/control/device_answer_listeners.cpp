#include "core/control/device_answer_listeners.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

std::mutex g_lock;
std::vector<IDeviceAnswerListener*> g_listeners;

}  // namespace

void AddDeviceAnswerListener(IDeviceAnswerListener* listener) {
  std::lock_guard<std::mutex> lock(g_lock);
  if (listener && std::find(g_listeners.begin(), g_listeners.end(), listener) == g_listeners.end())
    g_listeners.push_back(listener);
}

void RemoveDeviceAnswerListener(IDeviceAnswerListener* listener) {
  std::lock_guard<std::mutex> lock(g_lock);
  std::erase(g_listeners, listener);
}

void NotifyDeviceAnswer(const DEVICE_ENTRY_T& device) {
  std::lock_guard<std::mutex> lock(g_lock);
  for (IDeviceAnswerListener* listener : g_listeners) listener->OnDeviceAnswer(device);
}
