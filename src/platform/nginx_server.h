#pragma once

#include <string>

#include "platform/child_process.h"

// The firmware web server: nginx from the system (/usr/sbin/nginx) run with our configuration
// in Tools/nginx/ of the module folder, serving Download/Rom/ under /download/rom/ on TCP 8088.
// Its prefix (logs, pid, temp files) is Tools/nginx/ below the folder that also holds
// Download/Rom/: the module folder, or the user's cache folder when the program is installed.
// It runs as one process (no master/worker split) in a process group of its own and gets
// SIGKILL from the kernel when this process dies, so it never outlives the program.
class CNginxServer {
public:
  static constexpr const char* kNginxProgram = "/usr/sbin/nginx";

  // Starts the server from the main thread. Logs "start nginx success." or
  // "create nginx process faild！"; returns whether it was started.
  bool StartNginx();
  // Ends the server (SIGTERM, then SIGKILL after a grace period).
  void Stop();
  bool Running() { return m_child.Running(); }

  // CGlobalUtils::DataDir() + "/Tools/nginx/": nginx's prefix; relative paths of its
  // configuration (logs/, temp/, ../../Download/Rom/) are taken from it.
  static std::string Prefix();
  // The configuration shipped in the module folder (absolute, so any prefix can use it).
  static std::string ConfigFile();

private:
  CChildProcess m_child;
};
