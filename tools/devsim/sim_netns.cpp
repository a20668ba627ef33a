#include "sim_netns.h"

#include <dirent.h>
#include <sys/stat.h>

#include <string>

bool InSeparateNetns() {
  struct stat self {};
  if (stat("/proc/self/ns/net", &self) != 0) return false;
  DIR* dir = opendir("/run/netns");
  if (dir == nullptr) return false;
  bool found = false;
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    struct stat ns {};
    const std::string path = std::string("/run/netns/") + entry->d_name;
    if (stat(path.c_str(), &ns) == 0 && ns.st_ino == self.st_ino && ns.st_dev == self.st_dev)
      found = true;
  }
  closedir(dir);
  return found;
}
