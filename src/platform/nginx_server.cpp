#include "platform/nginx_server.h"

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
  const std::vector<std::string> args = {"-p", prefix, "-c", ConfigFile(), "-e", "logs/error.log"};
  if (!m_child.Start(kNginxProgram, args, prefix, prefix + "logs/error.log")) {
    LogError("create nginx process faild！");
    return false;
  }
  LogInfo("start nginx success.");
  return true;
}

void CNginxServer::Stop() { m_child.Stop(); }
