#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

// A child process tied to our lifetime: it runs in a session (and so a process group) of its
// own with no controlling terminal, gets SIGKILL from the kernel when this process dies (also on
// SIGKILL of this process), and Stop() ends the whole group. It inherits nothing of the caller's
// run: no variable of its environment, no terminal, no descriptor beyond its standard three.
// Start and Stop are meant for the main thread: the parent-death signal follows the thread that
// forked.
class CChildProcess {
public:
  CChildProcess() = default;
  ~CChildProcess();  // Stop()
  CChildProcess(const CChildProcess&) = delete;
  CChildProcess& operator=(const CChildProcess&) = delete;

  // Starts `program` (an absolute path: there is no search) with `args` (argv[1..]) in `workDir`
  // ("" = ours); stdin reads /dev/null, stdout and stderr go to `outputFile` (appended, never
  // through a link) or /dev/null when "". Its environment is only
  // PATH=/usr/sbin:/usr/bin:/sbin:/bin. false when the program could not be started (including
  // exec failure, which the child reports back).
  bool Start(const std::string& program, const std::vector<std::string>& args,
             const std::string& workDir, const std::string& outputFile = {});

  // The next Start runs the program as this user and group, with no supplementary groups (for
  // a root process that starts a server it does not trust with root).
  void RunAs(uid_t uid, gid_t gid) { m_runAs = Credentials{uid, gid}; }

  // SIGTERM to the group, up to `graceMs` for it to end, then SIGKILL; reaps the child.
  void Stop(int graceMs = 2000);

  // true while the child has not been reaped (checks without blocking).
  bool Running();
  int Pid() const { return m_pid; }

private:
  struct Credentials {
    uid_t uid;
    gid_t gid;
  };
  int m_pid = -1;
  std::optional<Credentials> m_runAs;
};

// Starts this program's own executable again as an independent process (new session, no
// arguments), as the restart hand-over does. true when the exec succeeded.
bool StartOwnExecutable();
