#include "platform/nginx_server.h"

#include <sys/stat.h>

#include "shell/global_utils.h"
#include "shell/log.h"

std::string CNginxServer::Prefix() { return CGlobalUtils::MakeModulePath("Tools/nginx/"); }

bool CNginxServer::StartNginx() {
  const std::string prefix = Prefix();
  // Run-time folders of the server below its prefix; nginx does not create the parents itself.
  for (const char* dir : {"logs", "temp"}) mkdir((prefix + dir).c_str(), 0755);
  const std::vector<std::string> args = {"-p", prefix,          "-c", "conf/nginx.conf",
                                         "-e", "logs/error.log"};
  if (!m_child.Start(kNginxProgram, args, prefix, prefix + "logs/error.log")) {
    LogError("create nginx process faild！");
    return false;
  }
  LogInfo("start nginx success.");
  return true;
}

void CNginxServer::Stop() { m_child.Stop(); }
