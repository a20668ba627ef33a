#include "platform/nginx_server.h"

#include <sys/stat.h>
#include <unistd.h>

#include "platform/user_folders.h"
#include "shell/global_utils.h"
#include "shell/log.h"

std::string CNginxServer::Prefix() { return CGlobalUtils::DataDir() + "/Tools/nginx/"; }

std::string CNginxServer::ConfigFile() {
  return CGlobalUtils::MakeModulePath("Tools/nginx/conf/nginx.conf");
}

bool CNginxServer::StartNginx() {
  const std::string prefix = Prefix();
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
