#include "shell/comm_udp.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdio>
#include <string>
#include <vector>

#include "unit/log/loopback_receiver.h"

namespace {

// A port held by a receiver whose next port is free: the channel must skip the first.
bool FindTakenPortWithFreeSuccessor(LoopbackReceiver** blocker) {
  for (int attempt = 0; attempt < 50; ++attempt) {
    auto* candidate = new LoopbackReceiver();
    CCommUdp probe(candidate->port() + 1, 1, 9);
    if (candidate->port() < 65535 && probe.TryOpen() == 0) {
      probe.Close();
      *blocker = candidate;
      return true;
    }
    delete candidate;
  }
  return false;
}

TEST(CommUdp, SkipsATakenPortAndSendsFromTheNextOne) {
  LoopbackReceiver viewer;
  LoopbackReceiver* blocker = nullptr;
  ASSERT_TRUE(FindTakenPortWithFreeSuccessor(&blocker));
  const int taken = blocker->port();

  CCommUdp udp(taken, 16, viewer.port());
  ASSERT_EQ(udp.TryOpen(), 0);
  EXPECT_EQ(udp.LocalPort(), taken + 1);

  const char payload[] = "abc";
  EXPECT_EQ(udp.Send(payload, 3), 3);
  std::vector<uint8_t> got;
  int sourcePort = 0;
  ASSERT_TRUE(viewer.Receive(&got, 2000, &sourcePort));
  EXPECT_EQ(std::string(got.begin(), got.end()), "abc");
  EXPECT_EQ(sourcePort, taken + 1);
  delete blocker;
}

TEST(CommUdp, ClosedChannelSendsNothing) {
  LoopbackReceiver viewer;
  CCommUdp udp(FreeLoopbackPort(), 16, viewer.port());
  EXPECT_FALSE(udp.IsOpen());
  EXPECT_EQ(udp.Send("x", 1), -1);
  EXPECT_EQ(udp.Receive(nullptr, 0), 0);
  ASSERT_EQ(udp.TryOpen(), 0);
  EXPECT_EQ(udp.Close(), 0);
  EXPECT_EQ(udp.Send("x", 1), -1);
  std::vector<uint8_t> got;
  EXPECT_FALSE(viewer.Receive(&got, 50));
}

TEST(CommUdp, NoFreePortInTheRangeFallsBackToAPortTheSystemPicks) {
  LoopbackReceiver viewer;
  LoopbackReceiver taken;
  CCommUdp udp(taken.port(), 1, viewer.port());
  ASSERT_EQ(udp.TryOpen(), 0);
  EXPECT_NE(udp.LocalPort(), taken.port());
  EXPECT_GT(udp.LocalPort(), 0);

  EXPECT_EQ(udp.Send("line", 4), 4);
  std::vector<uint8_t> got;
  int sourcePort = 0;
  ASSERT_TRUE(viewer.Receive(&got, 2000, &sourcePort));
  EXPECT_EQ(std::string(got.begin(), got.end()), "line");
  EXPECT_EQ(sourcePort, udp.LocalPort());
}

// Without a socket there is no channel: the error is shown and the process ends with code 0.
void OpenWithoutDescriptors(CCommUdp& udp) {
  rlimit none{0, 0};
  setrlimit(RLIMIT_NOFILE, &none);
  udp.Open();
}

TEST(CommUdp, NoSocketIsReportedAndEndsTheProcessWithCodeZero) {
#if defined(__SANITIZE_ADDRESS__)
  // Without any descriptor the sanitizers' own runtime fails in the child (a false vptr report
  // from UndefinedBehaviorSanitizer), so the exit code says nothing about our code there.
  GTEST_SKIP() << "needs a process without sanitizer runtime";
#endif
  CCommUdp udp(FreeLoopbackPort(), 1, 9);
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(OpenWithoutDescriptors(udp), testing::ExitedWithCode(0),
              "ERROR: CommUdp Socket create failed\\.");

  // A window layer's handler replaces the stderr text; the process still ends with code 0.
  CCommUdp::SetFatalErrorHandler([](const char* text, const char* caption) {
    std::fprintf(stderr, "handler saw [%s] [%s]\n", caption, text);
  });
  EXPECT_EXIT(OpenWithoutDescriptors(udp), testing::ExitedWithCode(0),
              "handler saw \\[ERROR\\] \\[CommUdp Socket create failed\\.\\]");
  CCommUdp::SetFatalErrorHandler(nullptr);
}

}  // namespace
