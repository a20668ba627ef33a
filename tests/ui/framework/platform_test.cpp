// Qt-free platform pieces the program's entry relies on: named events between threads and the
// child process tied to our lifetime.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "platform/child_process.h"
#include "platform/named_event.h"

namespace {

// Live (not zombie) processes of process group `pgid`.
int LiveMembersOfGroup(int pgid) {
  int live = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    const auto close = line.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(line.substr(close + 2));
    char state = 0;
    int ppid = 0, pgrp = 0;
    rest >> state >> ppid >> pgrp;
    if (pgrp == pgid && state != 'Z' && state != 'X') ++live;
  }
  return live;
}

TEST(NamedEvent, SignalsAWaiterOnAnotherThreadByName) {
  auto ev = CNamedEvent::Create("a3f0c2d4e5", true, false);
  std::thread answer([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (auto other = CNamedEvent::Open("a3f0c2d4e5")) other->Set();
  });
  EXPECT_TRUE(ev->Wait(5000));
  answer.join();
  EXPECT_TRUE(ev->Wait(0));  // manual reset: stays signalled
}

TEST(NamedEvent, TimesOutAndIsGoneWithItsLastHandle) {
  {
    auto ev = CNamedEvent::Create("late-ack", true, false);
    EXPECT_FALSE(ev->Wait(30));
    EXPECT_EQ(CNamedEvent::Open("late-ack"), ev);
  }
  EXPECT_EQ(CNamedEvent::Open("late-ack"), nullptr);  // a late answer finds nothing to set
  EXPECT_EQ(CNamedEvent::Open("never-made"), nullptr);
}

TEST(NamedEvent, AutoResetReleasesOneWait) {
  auto ev = CNamedEvent::Create("auto", false, true);
  EXPECT_TRUE(ev->Wait(0));
  EXPECT_FALSE(ev->Wait(0));
  ev->Set();
  ev->Reset();
  EXPECT_FALSE(ev->Wait(0));
}

TEST(ChildProcess, StopEndsTheChildAndItsGroup) {
  CChildProcess child;
  ASSERT_TRUE(child.Start("/bin/sh", {"-c", "sleep 30 & sleep 30"}, "/"));
  const int pid = child.Pid();
  ASSERT_GT(pid, 0);
  EXPECT_TRUE(child.Running());
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // let the shell fork its sleeper
  child.Stop(500);
  EXPECT_FALSE(child.Running());
  for (int i = 0; i < 100 && LiveMembersOfGroup(pid) > 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(LiveMembersOfGroup(pid), 0);  // the shell's own child went too
}

TEST(ChildProcess, ReportsAProgramThatCannotStart) {
  CChildProcess child;
  EXPECT_FALSE(child.Start("/nonexistent/nginx", {}, "/"));
  EXPECT_FALSE(child.Running());
  EXPECT_FALSE(child.Start("/bin/true", {}, "/nonexistent-dir"));
}

// Root starts a server it does not trust as another account: the child runs with that user and
// group in every slot and no supplementary group, and still dies with the process that started
// it (the parent-death signal, which a change of credentials clears, is armed after it).
TEST(ChildProcess, RunsAsAnotherAccountAndStillDiesWithItsStarter) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root";
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  const pid_t starter = fork();
  ASSERT_GE(starter, 0);
  if (starter == 0) {  // an intermediate process that starts the child, then waits to be killed
    CChildProcess child;
    child.RunAs(65534, 65534);
    const int pid = child.Start("/bin/sleep", {"30"}, "/") ? child.Pid() : -1;
    if (write(pipeFds[1], &pid, sizeof(pid)) != sizeof(pid)) _exit(1);
    pause();
    _exit(0);
  }
  close(pipeFds[1]);
  int pid = -1;
  ASSERT_EQ(read(pipeFds[0], &pid, sizeof(pid)), static_cast<ssize_t>(sizeof(pid)));
  close(pipeFds[0]);
  ASSERT_GT(pid, 0);
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line, uid, gid, groups;
  while (std::getline(status, line)) {
    if (line.rfind("Uid:", 0) == 0) uid = line;
    if (line.rfind("Gid:", 0) == 0) gid = line;
    if (line.rfind("Groups:", 0) == 0) groups = line;
  }
  EXPECT_EQ(uid, "Uid:\t65534\t65534\t65534\t65534");
  EXPECT_EQ(gid, "Gid:\t65534\t65534\t65534\t65534");
  EXPECT_EQ(groups.find_first_of("0123456789"), std::string::npos) << groups;

  kill(starter, SIGKILL);
  waitpid(starter, nullptr, 0);
  for (int i = 0; i < 200 && LiveMembersOfGroup(pid) > 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(LiveMembersOfGroup(pid), 0) << "the child outlived the process that started it";
}

}  // namespace
