#include "webserver/web_server_folder.h"

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <vector>

#include "platform/user_folders.h"
#include "shell/global_utils.h"
#include "shell/log.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kOwnAccount = "ipscanner-web";
// <base>/ipscanner-web-<pid>-XXXXXX: the pid tells a later run whether the owner still lives.
constexpr const char* kFolderPrefix = "ipscanner-web-";

std::mutex g_mutex;
int g_holders = 0;
std::string g_folder;        // the private folder while held, else ""
WebServerAccount g_account;  // who the server runs as from it
std::string g_problem;       // under root, why there is no private folder

bool LookUpAccount(const char* name, WebServerAccount* account) {
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwnam_r(name, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr)
    return false;
  if (found->pw_uid == 0) return false;  // never an account that is root after all
  account->uid = found->pw_uid;
  account->gid = found->pw_gid;
  account->name = name;
  return true;
}

// /run is a memory file system that only root writes to; /tmp when it is missing.
std::string BaseFolder() {
  struct stat st {};
  return stat("/run", &st) == 0 && S_ISDIR(st.st_mode) && access("/run", W_OK) == 0 ? "/run"
                                                                                    : "/tmp";
}

// Folders of earlier runs whose process is gone (it was killed before it could clean up).
void RemoveStaleFolders(const std::string& base) {
  std::error_code ec;
  for (fs::directory_iterator it(base, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.rfind(kFolderPrefix, 0) != 0) continue;
    const pid_t owner = static_cast<pid_t>(std::atol(name.c_str() + std::strlen(kFolderPrefix)));
    struct stat st {};
    if (owner <= 0 || lstat(it->path().c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != 0)
      continue;
    if (kill(owner, 0) == 0 || errno != ESRCH) continue;  // its owner still runs
    std::error_code removeError;
    fs::remove_all(it->path(), removeError);
  }
}

bool MakeFolder(const std::string& path, mode_t mode, uid_t uid, gid_t gid) {
  if (mkdir(path.c_str(), mode) != 0) return false;
  // Modes as given, whatever the umask; owner only where the account writes.
  return chmod(path.c_str(), mode) == 0 && chown(path.c_str(), uid, gid) == 0;
}

// Root's folder that the account may traverse; it reads what root put there and writes only
// into logs/ and temp/ of the server's prefix.
std::string CreatePrivateFolder(const WebServerAccount& account) {
  const std::string base = BaseFolder();
  RemoveStaleFolders(base);
  std::string path = base + "/" + kFolderPrefix + std::to_string(getpid()) + "-XXXXXX";
  if (mkdtemp(path.data()) == nullptr) {
    LogError("%s: cannot create %s: %s", "CWebServerFolder", path.c_str(), std::strerror(errno));
    return {};
  }
  const bool made = chmod(path.c_str(), 0711) == 0 && MakeFolder(path + "/Download", 0711, 0, 0) &&
                    MakeFolder(path + "/Download/Rom", 0755, 0, 0) &&
                    MakeFolder(path + "/Tools", 0711, 0, 0) &&
                    MakeFolder(path + "/Tools/nginx", 0711, 0, 0) &&
                    MakeFolder(path + "/Tools/nginx/conf", 0755, 0, 0) &&
                    MakeFolder(path + "/Tools/nginx/logs", 0700, account.uid, account.gid) &&
                    MakeFolder(path + "/Tools/nginx/temp", 0700, account.uid, account.gid);
  if (!made) {
    LogError("%s: cannot prepare %s: %s", "CWebServerFolder", path.c_str(), std::strerror(errno));
    std::error_code ec;
    fs::remove_all(path, ec);
    return {};
  }
  return path;
}

// Appends one of the server's logs to the data folder's copy. The account wrote the source: a
// link there is not followed.
void KeepLog(const std::string& from, const std::string& to) {
  const int in = open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (in < 0) return;
  struct stat st {};
  const int out =
      fstat(in, &st) == 0 && S_ISREG(st.st_mode)
          ? open(to.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0644)
          : -1;
  char buffer[65536];
  for (ssize_t n; out >= 0 && (n = read(in, buffer, sizeof(buffer))) > 0;) {
    if (write(out, buffer, static_cast<size_t>(n)) != n) break;
  }
  if (out >= 0) close(out);
  close(in);
}

void RemovePrivateFolder(const std::string& path) {
  const std::string logs = CGlobalUtils::DataDir() + "/Tools/nginx/logs/";
  if (MakeFolders(logs)) {
    for (const char* log : {"access.log", "error.log"})
      KeepLog(path + "/Tools/nginx/logs/" + log, logs + log);
  }
  std::error_code ec;
  fs::remove_all(path, ec);
  if (ec)
    LogError("%s: cannot remove %s: %s", "CWebServerFolder", path.c_str(), ec.message().c_str());
}

}  // namespace

bool FindWebServerAccount(WebServerAccount* account) { return LookUpAccount(kOwnAccount, account); }

CWebServerFolder::CWebServerFolder() {
  if (geteuid() != 0) return;
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_holders++ > 0) return;
  g_problem.clear();
  WebServerAccount account;
  if (!FindWebServerAccount(&account)) {
    // No shared account instead (nobody): whatever else runs as it could reach the server's
    // files and process.
    g_problem = std::string("the system user ") + kOwnAccount +
                " does not exist; run as root, the web server runs only as that account (the "
                "package and scripts/setup.sh create it)";
    return;  // the server's start logs it, and a command tells its user
  }
  g_folder = CreatePrivateFolder(account);
  g_account = account;
  SetWebServerPrivateFolder(g_folder);
  if (g_folder.empty())
    g_problem = "cannot prepare the web server's private folder below " + BaseFolder();
}

CWebServerFolder::~CWebServerFolder() {
  if (geteuid() != 0) return;
  std::lock_guard<std::mutex> lock(g_mutex);
  if (--g_holders > 0 || g_folder.empty()) return;
  SetWebServerPrivateFolder("");
  RemovePrivateFolder(g_folder);
  g_folder.clear();
}

std::string CWebServerFolder::Problem() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_folder.empty() ? g_problem : std::string();
}

bool CWebServerFolder::Private(WebServerAccount* account) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_folder.empty()) return false;
  if (account != nullptr) *account = g_account;
  return true;
}
