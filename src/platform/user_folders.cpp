#include "platform/user_folders.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace {

constexpr const char* kProgramFolder = "ipscanner";

std::string HomeFolder() {
  // getenv, not secure_getenv: with file capabilities the loader keeps HOME and XDG_* (they
  // only point at the user's own files), and the program must still find them.
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return home;
  const passwd* entry = ::getpwuid(::getuid());
  return entry && entry->pw_dir && entry->pw_dir[0] == '/' ? entry->pw_dir : std::string();
}

std::string XdgFolder(const char* variable, const char* homeRelative) {
  const char* value = std::getenv(variable);
  std::string base;
  if (value && value[0] == '/') {
    base = value;
  } else {
    const std::string home = HomeFolder();
    if (home.empty()) return std::string();
    base = home + "/" + homeRelative;
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + "/" + kProgramFolder;
}

bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CopyContent(int from, int to) {
  char buffer[16384];
  for (;;) {
    const ssize_t got = ::read(from, buffer, sizeof(buffer));
    if (got == 0) return true;
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = ::write(to, buffer + done, static_cast<size_t>(got - done));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return false;
      done += put;
    }
  }
}

}  // namespace

bool IsModuleFolderReadOnly(const std::string& moduleFolder) {
  if (moduleFolder.empty()) return false;
  if (::access((moduleFolder + "/" + kReadOnlyModuleMarker).c_str(), F_OK) == 0) return true;
  return ::access(moduleFolder.c_str(), W_OK) != 0;
}

std::string UserConfigFolder() { return XdgFolder("XDG_CONFIG_HOME", ".config"); }

std::string UserCacheFolder() { return XdgFolder("XDG_CACHE_HOME", ".cache"); }

std::string UserDataFolder() { return XdgFolder("XDG_DATA_HOME", ".local/share"); }

bool MakeFolders(const std::string& folder) {
  if (folder.empty() || folder[0] != '/') return false;
  std::vector<std::string> missing;
  std::string path = folder;
  while (path.size() > 1 && !IsFolder(path)) {
    missing.push_back(path);
    path.erase(path.find_last_of('/'));
    if (path.empty()) path = "/";
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (::mkdir(it->c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return IsFolder(folder);
}

bool SeedFile(const std::string& from, const std::string& to) {
  if (::access(to.c_str(), F_OK) == 0) return true;
  const int source = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (source < 0) return false;
  // Written under a name of our own, then linked to its place: link() never replaces a file
  // another program put there meanwhile, and nobody ever reads a half-written copy.
  const std::string temporary = to + ".seed-" + std::to_string(::getpid());
  const int target = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  bool copied = target >= 0 && CopyContent(source, target);
  if (target >= 0 && ::close(target) != 0) copied = false;
  ::close(source);
  if (copied && ::link(temporary.c_str(), to.c_str()) != 0 && errno != EEXIST) copied = false;
  ::unlink(temporary.c_str());
  return copied && ::access(to.c_str(), F_OK) == 0;
}
