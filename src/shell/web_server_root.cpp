#include "shell/web_server_root.h"

#include <mutex>

#include "shell/global_utils.h"

namespace {

std::mutex g_mutex;
std::string g_privateFolder;  // "" while no private folder is held

}  // namespace

std::string WebServerFolder() {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_privateFolder.empty()) return g_privateFolder;
  }
  return CGlobalUtils::DataDir();
}

void SetWebServerPrivateFolder(const std::string& folder) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_privateFolder = folder;
}
