#include "platform/module_dir.h"

#include <unistd.h>

#include <climits>
#include <mutex>

namespace {

std::mutex& OverrideMutex() {
  static std::mutex mutex;
  return mutex;
}

std::string& OverrideFolder() {
  static std::string folder;
  return folder;
}

std::string ExecutableFolder() {
  char path[PATH_MAX + 1];
  const ssize_t length = ::readlink("/proc/self/exe", path, PATH_MAX);
  if (length <= 0) return std::string();
  const std::string full(path, static_cast<size_t>(length));
  const size_t slash = full.rfind('/');
  return slash == std::string::npos ? std::string() : full.substr(0, slash);
}

}  // namespace

std::string GetModuleFolder() {
  {
    std::lock_guard<std::mutex> lock(OverrideMutex());
    if (!OverrideFolder().empty()) return OverrideFolder();
  }
  static const std::string folder = ExecutableFolder();
  return folder;
}

void SetModuleFolderOverride(const std::string& folder) {
  std::lock_guard<std::mutex> lock(OverrideMutex());
  OverrideFolder() = folder;
}
