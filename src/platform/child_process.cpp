#include "platform/child_process.h"

#include <fcntl.h>
#include <grp.h>
#include <linux/close_range.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>

namespace {

// In the forked child only async-signal-safe calls: no allocation, no locks.
void ResetSignalsInChild() {
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  for (int sig : {SIGPIPE, SIGTERM, SIGINT, SIGHUP, SIGUSR1, SIGUSR2, SIGCHLD})
    signal(sig, SIG_DFL);
}

// Every descriptor above standard error is marked close-on-exec in the child: our own are
// opened that way already, and this also covers those a library opened without the flag, so
// the program we start inherits none of our captures, sockets, locks or pipes. (A single
// system call; the exec-report pipe is close-on-exec anyway and stays usable until the exec.)
void CloseInheritedOnExec() { syscall(SYS_close_range, 3u, ~0u, CLOSE_RANGE_CLOEXEC); }

[[noreturn]] void ReportAndExit(int pipeFd) {
  int err = errno;
  ssize_t ignored = write(pipeFd, &err, sizeof(err));
  (void)ignored;
  _exit(127);
}

// Waits for the exec report of a fresh child: true when the pipe closed without data (exec done).
bool ExecSucceeded(int readFd) {
  int err = 0;
  ssize_t n;
  do {
    n = read(readFd, &err, sizeof(err));
  } while (n < 0 && errno == EINTR);
  close(readFd);
  return n == 0;
}

// Forks with a close-on-exec pipe on which the child reports a failed exec: the child keeps
// only the write end report[1], the parent only the read end report[0]. -1 when either the pipe
// or the fork fails, with no end left open.
pid_t ForkWithExecReport(int (&report)[2]) {
  if (pipe2(report, O_CLOEXEC) != 0) return -1;
  pid_t pid = fork();
  if (pid < 0) {
    close(report[0]);
    close(report[1]);
    return -1;
  }
  close(pid == 0 ? report[0] : report[1]);
  return pid;
}

std::vector<char*> MakeArgv(std::vector<std::string>& storage) {
  std::vector<char*> argv;
  for (auto& s : storage) argv.push_back(s.data());
  argv.push_back(nullptr);
  return argv;
}

// The whole environment of a started program: built here, never inherited. A root caller's
// variables (its secrets, its terminal, its display and session bus) stay with the caller, and
// nothing in them can steer the server (NGINX, LD_*, a PATH of the caller's).
char g_childPath[] = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";
char* const g_childEnvironment[] = {g_childPath, nullptr};

}  // namespace

CChildProcess::~CChildProcess() { Stop(); }

bool CChildProcess::Start(const std::string& program, const std::vector<std::string>& args,
                          const std::string& workDir, const std::string& outputFile) {
  if (m_pid > 0) return false;
  std::vector<std::string> storage;
  storage.push_back(program);
  storage.insert(storage.end(), args.begin(), args.end());
  std::vector<char*> argv = MakeArgv(storage);
  const char* out = outputFile.empty() ? "/dev/null" : outputFile.c_str();

  const std::optional<Credentials> runAs = m_runAs;
  int report[2];
  pid_t parent = getpid();
  pid_t pid = ForkWithExecReport(report);
  if (pid < 0) return false;
  if (pid == 0) {
    // A session of its own before anything else: it leaves the caller's controlling terminal
    // behind (nothing it runs can open /dev/tty or push input into the caller's shell with
    // TIOCSTI) and leads a new process group, which Stop() ends as a whole. The parent sets no
    // group for it: setsid() fails in a process that already leads one.
    if (setsid() < 0) ReportAndExit(report[1]);
    // Groups first, the user last (it takes the right to change groups away); then make sure
    // there is no way back.
    if (runAs && (setgroups(0, nullptr) != 0 || setgid(runAs->gid) != 0 ||
                  setuid(runAs->uid) != 0 || geteuid() != runAs->uid || setuid(0) == 0))
      ReportAndExit(report[1]);
    // The kernel kills the child when the forking thread (our main thread) ends, however it ends.
    // Armed after the change of user: a change of credentials clears it.
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) ReportAndExit(report[1]);
    if (getppid() != parent) _exit(0);  // we died before the signal was armed
    ResetSignalsInChild();
    CloseInheritedOnExec();
    if (!workDir.empty() && chdir(workDir.c_str()) != 0) ReportAndExit(report[1]);
    // O_NOCTTY: a session leader without a terminal would take any terminal it opens as its
    // controlling one.
    int in = open("/dev/null", O_RDONLY | O_NOCTTY);
    // Never through a link: a link planted in the log folder would make us append elsewhere.
    int log = open(out, O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_NOCTTY, 0644);
    if (in < 0 || log < 0) ReportAndExit(report[1]);
    dup2(in, STDIN_FILENO);
    dup2(log, STDOUT_FILENO);
    dup2(log, STDERR_FILENO);
    if (in > STDERR_FILENO) close(in);
    if (log > STDERR_FILENO) close(log);
    execve(argv[0], argv.data(), g_childEnvironment);
    ReportAndExit(report[1]);
  }
  // The session (and with it the group Stop() targets) exists once the exec is reported.
  if (!ExecSucceeded(report[0])) {
    waitpid(pid, nullptr, 0);
    return false;
  }
  m_pid = pid;
  return true;
}

bool CChildProcess::Running() {
  if (m_pid <= 0) return false;
  int status = 0;
  pid_t r = waitpid(m_pid, &status, WNOHANG);
  if (r == m_pid || (r < 0 && errno == ECHILD)) {
    m_pid = -1;
    return false;
  }
  return true;
}

void CChildProcess::Stop(int graceMs) {
  if (m_pid <= 0) return;
  kill(-m_pid, SIGTERM);
  for (int waited = 0; waited < graceMs; waited += 10) {
    pid_t r = waitpid(m_pid, nullptr, WNOHANG);
    if (r == m_pid || (r < 0 && errno == ECHILD)) {
      kill(-m_pid, SIGKILL);  // anything the child left behind in its group
      m_pid = -1;
      return;
    }
    usleep(10 * 1000);
  }
  kill(-m_pid, SIGKILL);
  waitpid(m_pid, nullptr, 0);
  m_pid = -1;
}

bool StartOwnExecutable() {
  char exe[PATH_MAX] = {};
  ssize_t n = readlink("/proc/self/exe", exe, sizeof(exe) - 1);
  if (n <= 0) return false;
  exe[n] = '\0';
  char* argv[] = {exe, nullptr};

  int report[2];
  pid_t pid = ForkWithExecReport(report);
  if (pid < 0) return false;
  if (pid == 0) {
    setsid();  // independent of our group, so nothing aimed at us reaches the successor
    ResetSignalsInChild();
    CloseInheritedOnExec();
    execv(exe, argv);
    ReportAndExit(report[1]);
  }
  return ExecSucceeded(report[0]);
}
