#include <gtest/gtest.h>
#include <net/if.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>

#include "shell/global_utils.h"

namespace {

TEST(GlobalUtilsCommand, JudgesTheOutput) {
  struct Case {
    std::string command;
    int result;
  } cases[] = {
      {"echo Error: x", -1},  {"echo something failed with error 5", -1},
      {"echo ERROR >&2", -1},  // standard error goes into the same pipe
      {"echo all fine", 0},   {"true", 0},
      {"false", 0},  // a silent failure counts as success
      {"exit 3", 0},          {"printf 'Err or'", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(CGlobalUtils::CmdOperate(c.command), c.result) << c.command;
}

TEST(GlobalUtilsCommand, RefusesAnOverlongCommandLineInsteadOfCuttingIt) {
  char pattern[] = "/tmp/cmd_operate_test_XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::string marker = std::string(pattern) + "/ran";
  // Cut at 1023 characters this would still run "touch"; it must not run at all.
  const std::string command = "touch " + marker + " #" + std::string(1100, 'x');
  EXPECT_EQ(CGlobalUtils::CmdOperate(command), -1);
  EXPECT_FALSE(std::filesystem::exists(marker));
  EXPECT_EQ(CGlobalUtils::CmdOperate("touch " + marker), 0);
  EXPECT_TRUE(std::filesystem::exists(marker));
  std::filesystem::remove_all(pattern);
}

// Children of this process that have ended but were never waited for.
int ZombieChildren() {
  int zombies = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    const size_t close = line.rfind(')');
    if (close == std::string::npos || close + 4 >= line.size()) continue;
    char state = 0;
    int parent = 0;
    if (std::sscanf(line.c_str() + close + 2, "%c %d", &state, &parent) == 2 && state == 'Z' &&
        parent == ::getpid()) {
      ++zombies;
    }
  }
  return zombies;
}

TEST(GlobalUtilsCommand, EndedCommandsDoNotStayZombies) {
  for (int i = 0; i < 5; ++i) ASSERT_EQ(CGlobalUtils::CmdOperate("echo run"), 0);
  int zombies = ZombieChildren();
  for (int wait = 0; wait < 200 && zombies > 0; ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    zombies = ZombieChildren();
  }
  EXPECT_EQ(zombies, 0);
}

TEST(GlobalUtilsAdapters, ListsEveryInterfaceButLoopback) {
  std::set<std::string> expected;
  struct if_nameindex* names = ::if_nameindex();
  ASSERT_NE(names, nullptr);
  for (struct if_nameindex* item = names; item->if_index != 0; ++item) {
    if (std::string(item->if_name) != "lo") expected.insert(item->if_name);
  }
  ::if_freenameindex(names);

  std::set<std::string> listed;
  for (const AdapterEntry& adapter : CGlobalUtils::GetAdapters()) {
    listed.insert(adapter.szAdapterName);
    ASSERT_FALSE(adapter.ipAddresses.empty()) << adapter.szAdapterName;
    for (const std::string& ip : adapter.ipAddresses)
      EXPECT_TRUE(CGlobalUtils::IsValidIPv4(ip)) << ip;
    EXPECT_LE(adapter.szDescription.size(), 63u);
    EXPECT_EQ(adapter.szDescription.rfind(adapter.szAdapterName, 0), 0u);
  }
  EXPECT_EQ(listed, expected);
}

TEST(GlobalUtilsAdapters, LocalIpIsEmptyOrAnAddress) {
  const std::string ip = CGlobalUtils::GetLocalIP();
  EXPECT_TRUE(ip.empty() || CGlobalUtils::IsValidIPv4(ip)) << ip;
}

}  // namespace
