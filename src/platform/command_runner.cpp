#include "platform/command_runner.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>
#include <vector>

extern char** environ;

namespace {

void ReapInBackground(pid_t pid) {
  try {
    std::thread([pid] {
      while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  } catch (...) {
    // No thread to spare: reap now if it has already ended; otherwise it stays until we exit.
    ::waitpid(pid, nullptr, WNOHANG);
  }
}

}  // namespace

bool RunCommandReadOnce(const std::string& command, size_t maxBytes, std::string& output) {
  output.clear();
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return false;

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
  // The command starts with default signal handling and nothing blocked, whatever this
  // process has set up for itself (an ignored SIGPIPE, masks of worker threads).
  sigset_t none;
  sigset_t defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGCHLD);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::string shell = "/bin/sh";
  std::string dashC = "-c";
  std::string text = command;
  char* argv[] = {shell.data(), dashC.data(), text.data(), nullptr};
  pid_t pid = 0;
  const int spawned = ::posix_spawn(&pid, "/bin/sh", &actions, &attributes, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  ::close(fds[1]);
  if (spawned != 0) {
    ::close(fds[0]);
    return false;
  }

  std::vector<char> buffer(maxBytes > 0 ? maxBytes : 1);
  ssize_t got = 0;
  do {
    got = ::read(fds[0], buffer.data(), maxBytes);
  } while (got < 0 && errno == EINTR);
  if (got > 0) output.assign(buffer.data(), static_cast<size_t>(got));
  ::close(fds[0]);
  ReapInBackground(pid);
  return true;
}
