#include "shell/single_instance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "shell/log.h"

namespace {

int g_lockFd = -1;  // the instance lock, -1 when not held

bool EnsurePrivateDir(const std::string& dir) {
  if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat st {};
  if (lstat(dir.c_str(), &st) != 0) return false;
  // A folder in /tmp that someone else made (or a symlink) must not be trusted.
  return S_ISDIR(st.st_mode) && st.st_uid == getuid();
}

// A zombie still answers kill(pid, 0); it counts as gone.
bool ProcessAlive(int pid) {
  if (kill(pid, 0) != 0 && errno == ESRCH) return false;
  char path[64];
  std::snprintf(path, sizeof(path), "/proc/%d/stat", pid);
  FILE* f = std::fopen(path, "re");
  if (!f) return true;
  char line[512] = {};
  bool alive = true;
  if (std::fgets(line, sizeof(line), f)) {
    const char* close = std::strrchr(line, ')');
    if (close && close[1] == ' ' && (close[2] == 'Z' || close[2] == 'X')) alive = false;
  }
  std::fclose(f);
  return alive;
}

}  // namespace

std::string InstanceRunDir() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime) {
    std::string dir = std::string(runtime) + "/ipscanner";
    if (EnsurePrivateDir(dir)) return dir;
  }
  // No usable session folder: a private folder of our own in /tmp.
  std::string dir = "/tmp/ipscanner-" + std::to_string(getuid());
  return EnsurePrivateDir(dir) ? dir : std::string();
}

std::string InstanceLockPath() {
  std::string dir = InstanceRunDir();
  return dir.empty() ? dir : dir + "/instance.lock";
}

std::string InstanceSocketPath() {
  std::string dir = InstanceRunDir();
  return dir.empty() ? dir : dir + "/instance.sock";
}

std::string HandOverMarkerPath() {
  std::string dir = InstanceRunDir();
  return dir.empty() ? dir : dir + "/handover";
}

bool HoldsInstanceLock() { return g_lockFd >= 0; }

void CloseInstanceSemaphore() {
  if (g_lockFd >= 0) {
    close(g_lockFd);  // closing the only descriptor drops the flock
    g_lockFd = -1;
  }
}

int HandOverMarkerPid() {
  std::string path = HandOverMarkerPath();
  if (path.empty()) return 0;
  FILE* f = std::fopen(path.c_str(), "re");
  if (!f) return 0;
  int pid = 0;
  if (std::fscanf(f, "%d", &pid) != 1) pid = 0;
  std::fclose(f);
  if (pid <= 0) return 0;
  if (!ProcessAlive(pid)) return 0;  // the instance that wrote it is gone
  return pid;
}

bool HandOverMarkerActive() { return HandOverMarkerPid() != 0; }

bool SetHandOverMarker() {
  std::string path = HandOverMarkerPath();
  if (path.empty()) return false;
  std::string tmp = path + ".tmp";
  FILE* f = std::fopen(tmp.c_str(), "we");
  if (!f) return false;
  bool ok = std::fprintf(f, "%d\n", static_cast<int>(getpid())) > 0;
  ok = (std::fclose(f) == 0) && ok;
  if (!ok || std::rename(tmp.c_str(), path.c_str()) != 0) {
    std::remove(tmp.c_str());
    return false;
  }
  return true;
}

void ClearHandOverMarker() {
  std::string path = HandOverMarkerPath();
  if (!path.empty()) std::remove(path.c_str());
}

bool RequestActivation(int timeoutMs) {
  std::string path = InstanceSocketPath();
  sockaddr_un addr{};
  if (path.empty() || path.size() >= sizeof(addr.sun_path)) return false;
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);

  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  bool answered = false;
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0) {
    static const char kRequest[] = "activate\n";
    if (send(fd, kRequest, sizeof(kRequest) - 1, MSG_NOSIGNAL) ==
        static_cast<ssize_t>(sizeof(kRequest) - 1)) {
      pollfd pfd{fd, POLLIN, 0};
      char reply[16] = {};
      if (poll(&pfd, 1, timeoutMs) == 1 && recv(fd, reply, sizeof(reply) - 1, 0) > 0) {
        answered = std::strncmp(reply, "ok", 2) == 0;
      }
    }
  }
  close(fd);
  return answered;
}

bool CheckSingleInstance() {
  std::string lockPath = InstanceLockPath();
  if (lockPath.empty()) return true;  // no run folder: behave as if the lock could not be made
  int fd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return true;
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
    g_lockFd = fd;
    // A marker left by an instance that has exited since means nothing any more.
    if (!HandOverMarkerActive()) ClearHandOverMarker();
    return true;
  }
  int err = errno;
  close(fd);
  if (err != EWOULDBLOCK) return true;  // a lock failure other than "taken" lets us run

  // Taken: a running instance with a window answers and comes to the front.
  if (RequestActivation(2000)) return false;
  // An instance that is handing over lets its successor run. It exits right after starting us:
  // wait a little for it so that we take over the lock (and its web server's port) cleanly.
  if (int oldPid = HandOverMarkerPid(); oldPid != 0) {
    for (int waited = 0; waited < 5000 && ProcessAlive(oldPid); waited += 20) usleep(20 * 1000);
    fd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0) {
      g_lockFd = fd;
      ClearHandOverMarker();
    } else if (fd >= 0) {
      close(fd);
    }
    return true;
  }
  // Still starting (no window yet): leave it alone.
  return false;
}
