#include "webserver/nginx_server.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "platform/user_folders.h"
#include "shell/global_utils.h"
#include "shell/log.h"

namespace {

constexpr const char* kShippedConfig = "Tools/nginx/conf/nginx.conf";

// Under root the account reads its configuration from the private prefix: the module folder may
// lie where it cannot look (a build tree below /root).
bool CopyConfigIntoPrefix() {
  std::error_code ec;
  std::filesystem::copy_file(CGlobalUtils::MakeModulePath(kShippedConfig),
                             CNginxServer::ConfigFile(),
                             std::filesystem::copy_options::overwrite_existing, ec);
  if (!ec) chmod(CNginxServer::ConfigFile().c_str(), 0644);
  return !ec;
}

}  // namespace

std::string CNginxServer::Prefix() { return WebServerFolder() + "/Tools/nginx/"; }

std::string CNginxServer::ConfigFile() {
  if (CWebServerFolder::Private()) return Prefix() + "conf/nginx.conf";
  return CGlobalUtils::MakeModulePath(kShippedConfig);
}

std::string CNginxServer::KeptErrorLog() {
  return CGlobalUtils::DataDir() + "/Tools/nginx/logs/error.log";
}

bool CNginxServer::StartNginx() {
  m_failure.clear();
  const std::string prefix = Prefix();
  WebServerAccount account;
  if (CWebServerFolder::Private(&account)) {
    if (!CopyConfigIntoPrefix()) {
      LogError("%s: cannot copy the configuration into %s.", "CNginxServer::StartNginx",
               prefix.c_str());
      LogError("create nginx process faild！");
      return false;
    }
    m_child.RunAs(account.uid, account.gid);
  } else if (geteuid() == 0) {
    // Never as root: without its private folder (no unprivileged account) it does not start.
    m_failure = CWebServerFolder::Problem();
    if (m_failure.empty()) m_failure = "no private folder for the web server under root";
    LogError("%s: %s; it is not started.", "CNginxServer::StartNginx", m_failure.c_str());
    LogError("create nginx process faild！");
    return false;
  }
  // Run-time folders of the server below its prefix; nginx does not create the parents itself.
  for (const char* dir : {"logs", "temp"}) MakeFolders(prefix + dir);
  // nginx opens its own logs and pid file without refusing links; a link planted there would
  // have it write wherever the link points (with our rights). Such a link is removed first.
  for (const char* file : {"logs/error.log", "logs/access.log", "logs/nginx.pid"}) {
    struct stat st {};
    if (lstat((prefix + file).c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
      LogError("%s: %s%s is a link, removed.", "CNginxServer::StartNginx", prefix.c_str(), file);
      unlink((prefix + file).c_str());
    }
  }
  const std::vector<std::string> args = {"-p", prefix, "-c", ConfigFile(), "-e", "logs/error.log"};
  if (!m_child.Start(kNginxProgram, args, prefix, prefix + "logs/error.log")) {
    LogError("create nginx process faild！");
    return false;
  }
  LogInfo("start nginx success.");
  return true;
}

void CNginxServer::Stop() { m_child.Stop(); }
