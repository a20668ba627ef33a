#include <gtest/gtest.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>

#include "platform/adapters.h"
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

// Interfaces that are switched off keep their addresses on Linux but cannot be captured on.
TEST(GlobalUtilsAdapters, ListsEveryInterfaceThatIsUpButLoopback) {
  std::set<std::string> expected;
  struct if_nameindex* names = ::if_nameindex();
  ASSERT_NE(names, nullptr);
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(fd, 0);
  for (struct if_nameindex* item = names; item->if_index != 0; ++item) {
    struct ifreq request {};
    std::strncpy(request.ifr_name, item->if_name, IFNAMSIZ - 1);
    ASSERT_EQ(::ioctl(fd, SIOCGIFFLAGS, &request), 0) << item->if_name;
    const bool up = (request.ifr_flags & IFF_UP) != 0;
    const bool loopback = (request.ifr_flags & IFF_LOOPBACK) != 0;
    if (up && !loopback) expected.insert(item->if_name);
    EXPECT_EQ(InterfaceProblem(item->if_name).empty(),
              up && !loopback && InterfaceProblem(item->if_name) != "has no IPv4 address")
        << item->if_name;
  }
  ::close(fd);
  ::if_freenameindex(names);
  EXPECT_EQ(InterfaceProblem("nosuch-if9"), "does not exist");

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
