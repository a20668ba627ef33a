#pragma once

#include <sys/types.h>

#include <string>

#include "shell/web_server_root.h"

// The web server's private run-time folder under root, and the account it runs as. The folder
// the server works from, private or not, is WebServerFolder() (shell/web_server_root.h).

// The account the web server runs as when we are root: the package's own system user
// ipscanner-web (scripts/setup.sh creates it for the build tree). No shared account stands in
// for it: false when it does not exist, and then the server is not started.
struct WebServerAccount {
  uid_t uid = 0;
  gid_t gid = 0;
  std::string name;
};
bool FindWebServerAccount(WebServerAccount* account);

// Holds the private run-time folder while it exists (nested holders share one); does nothing
// unless the process runs as root. On the way out the server's logs are appended to the data
// folder's Tools/nginx/logs/, where a run without root keeps them, and the folder is removed.
// Folders left behind by a process that was killed are removed when the next one is made.
class CWebServerFolder {
public:
  CWebServerFolder();
  ~CWebServerFolder();
  CWebServerFolder(const CWebServerFolder&) = delete;
  CWebServerFolder& operator=(const CWebServerFolder&) = delete;

  // Whether the server runs from the private folder, and as which account (*account when given).
  static bool Private(WebServerAccount* account = nullptr);
  // Under root without the private folder: why (no account ipscanner-web, or the folder could not
  // be made), in words for the user. "" otherwise.
  static std::string Problem();
};
