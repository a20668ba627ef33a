#pragma once

#include <sys/types.h>

#include <string>

// The folder that holds everything our web server touches: Download/Rom/ (what devices fetch)
// and Tools/nginx/ (the server's prefix: logs/, temp/, and under root its configuration).
//
// Normally that is CGlobalUtils::DataDir(). A process running as root starts the server as an
// unprivileged account instead, which may not read the data folder (a home folder below /root is
// 0700). While a CWebServerFolder exists in such a process, the server works from a private
// run-time folder that belongs to root and that the account may traverse: it reads
// Download/Rom/ and the configuration, and writes only logs/ and temp/. Every path to the
// download folder, the server's prefix and its access log is taken from here.
std::string WebServerFolder();

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
