// A child started by a run on a terminal keeps nothing of that run. The attack this guards
// against: the web server, started by root's shell, sat in root's session with root's terminal
// as its controlling one, so anything running as its account could open /dev/tty and push a
// command line into root's shell with TIOCSTI, or read root's environment from /proc.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/child_process.h"

namespace {

// Run by the child: where it stands (its pid, session and controlling terminal from
// /proc/self/stat), the environment it was started with, and what a TIOCSTI gets, through
// /dev/tty and through each standard descriptor.
std::string ProbeScript() {
  std::string script = R"probe(set -- $(sed 's/.*) //' /proc/$$/stat)
echo "pid $$"; echo "session $4"; echo "tty $5"
tr '\0' '\n' </proc/$$/environ | sed 's/^/env /'
perl -e 'my $c = "x";
  if (open(my $t, "+<", "/dev/tty")) {
    print ioctl($t, TIOCSTI, $c) ? "sti-devtty ok\n" : "sti-devtty ", $!+0, "\n";
  } else { print "open-devtty ", $!+0, "\n"; }
  for my $fd (0, 1, 2) {
    open(my $h, $fd ? ">>&=" : "<&=", $fd) or next;
    print ioctl($h, TIOCSTI, $c) ? "sti-fd$fd ok\n" : "sti-fd$fd ", $!+0, "\n";
  }'
)probe";
  const std::string request = std::to_string(TIOCSTI);
  for (size_t at; (at = script.find("TIOCSTI")) != std::string::npos;)
    script.replace(at, 7, request);
  return script;
}

struct ProbeReport {
  std::map<std::string, std::string> values;  // first word of a line -> the rest
  std::vector<std::string> environment;
};

ProbeReport ReadReport(const std::string& path) {
  ProbeReport report;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    const auto space = line.find(' ');
    const std::string key = line.substr(0, space);
    const std::string value = space == std::string::npos ? "" : line.substr(space + 1);
    if (key == "env") {
      report.environment.push_back(value);
    } else {
      report.values[key] = value;
    }
  }
  return report;
}

TEST(ChildProcessSession, AChildOfARunOnATerminalHasNoTerminalOwnSessionAndFixedEnvironment) {
  if (access("/usr/bin/perl", X_OK) != 0) GTEST_SKIP() << "perl is needed for the TIOCSTI probe";
  char folderTemplate[] = "/tmp/ips-child-session-XXXXXX";
  ASSERT_NE(mkdtemp(folderTemplate), nullptr);
  const std::string folder = folderTemplate;
  const std::string output = folder + "/probe.out";
  // The child writes its report after the change of account: a file it may write, in a folder
  // that is no shared sticky one.
  ASSERT_EQ(chmod(folder.c_str(), 0755), 0);
  const int created = open(output.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
  ASSERT_GE(created, 0);
  fchmod(created, 0666);
  close(created);

  // The caller: a session on a pseudo-terminal (its controlling terminal and standard
  // descriptors), with a secret in its environment; under root it starts the child as another
  // account, as the web server is started.
  int terminal = -1;
  const pid_t caller = forkpty(&terminal, nullptr, nullptr, nullptr);
  ASSERT_GE(caller, 0);
  if (caller == 0) {
    setenv("IPS_TEST_SECRET", "root-only-secret", 1);
    CChildProcess child;
    if (geteuid() == 0) child.RunAs(65534, 65534);
    if (!child.Start("/bin/sh", {"-c", ProbeScript()}, "/", output)) _exit(2);
    for (int i = 0; i < 1000 && child.Running(); ++i) usleep(10 * 1000);
    _exit(child.Running() ? 3 : 0);
  }
  int status = -1;
  fcntl(terminal, F_SETFL, O_NONBLOCK);
  for (int i = 0; i < 1500 && waitpid(caller, &status, WNOHANG) == 0; ++i) {
    char drain[256];  // whatever reaches the terminal (nothing should)
    while (read(terminal, drain, sizeof drain) > 0) {
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (!WIFEXITED(status)) {
    kill(caller, SIGKILL);
    waitpid(caller, nullptr, 0);
  }
  close(terminal);
  ProbeReport report = ReadReport(output);
  std::filesystem::remove_all(folder);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the caller ended with " << status;

  ASSERT_FALSE(report.values["pid"].empty()) << "the probe did not report";
  EXPECT_EQ(report.values["session"], report.values["pid"]) << "not a session of its own";
  EXPECT_EQ(report.values["tty"], "0") << "it has a controlling terminal";
  EXPECT_EQ(report.environment, std::vector<std::string>{"PATH=/usr/sbin:/usr/bin:/sbin:/bin"});
  // No terminal to push input into: /dev/tty does not open (ENXIO, no controlling terminal),
  // and none of its standard descriptors is a terminal.
  EXPECT_EQ(report.values["open-devtty"], std::to_string(ENXIO));
  EXPECT_EQ(report.values.count("sti-devtty"), 0u) << report.values["sti-devtty"];
  for (const char* fd : {"sti-fd0", "sti-fd1", "sti-fd2"})
    EXPECT_EQ(report.values[fd], std::to_string(ENOTTY)) << fd;
}

}  // namespace
