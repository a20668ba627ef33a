#pragma once

#include <string>

#include "platform/child_process.h"
#include "webserver/web_server_folder.h"

// The firmware web server: nginx from the system (/usr/sbin/nginx) run with our configuration
// in Tools/nginx/ of the module folder, serving Download/Rom/ under /download/rom/ on TCP 8088.
// Its prefix (logs, pid, temp files) is Tools/nginx/ below WebServerFolder(), the folder that
// also holds Download/Rom/: the module folder, the user's cache folder when the program is
// installed, or under root a private run-time folder from which it runs as the system user
// ipscanner-web (it never runs as root, nor as a shared account such as nobody).
// It runs as one process (no master/worker split) in a session of its own, without our terminal
// or environment, and gets SIGKILL from the kernel when this process dies, so it never outlives
// the program.
class CNginxServer {
public:
  static constexpr const char* kNginxProgram = "/usr/sbin/nginx";

  // Starts the server from the main thread. Logs "start nginx success." or
  // "create nginx process faild！"; returns whether it was started.
  bool StartNginx();
  // Why the last StartNginx refused to start the server at all (under root without its own
  // account), in words for the user; "" when it started or only its error log can tell.
  const std::string& Failure() const { return m_failure; }
  // Ends the server (SIGTERM, then SIGKILL after a grace period).
  void Stop();
  bool Running() { return m_child.Running(); }

  // WebServerFolder() + "/Tools/nginx/": nginx's prefix; relative paths of its configuration
  // (logs/, temp/, ../../Download/Rom/) are taken from it.
  static std::string Prefix();
  // The configuration shipped in the module folder (absolute, so any prefix can use it); under
  // root a copy of it in the private prefix, which the unprivileged account can read.
  static std::string ConfigFile();
  // The error log where it stays after the run (under root the private prefix goes, and its
  // logs are appended to the data folder's Tools/nginx/logs/).
  static std::string KeptErrorLog();

private:
  CWebServerFolder m_folder;  // outlives the child, which is stopped first
  CChildProcess m_child;
  std::string m_failure;
};
