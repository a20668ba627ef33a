#include "core/common/resend_pacer.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/common/discovery_schedule.h"

using namespace std::chrono_literals;

namespace {

// The sends a pacer allows when it is asked every 100 ms up to `until`, the device being heard
// at the times in `heard`.
std::vector<std::chrono::milliseconds> SendsUntil(
    const ResendPace& pace, std::chrono::milliseconds until,
    const std::vector<std::chrono::milliseconds>& heard) {
  CResendPacer pacer(pace);
  std::vector<std::chrono::milliseconds> sends;
  for (std::chrono::milliseconds now = 0ms; now <= until; now += 100ms) {
    for (auto at : heard)
      if (at == now) pacer.Heard(now);
    if (sends.empty() || pacer.Due(now)) {
      pacer.Sent(now);
      sends.push_back(now);
    }
  }
  EXPECT_EQ(pacer.Sends(), static_cast<int>(sends.size()));
  return sends;
}

}  // namespace

TEST(ResendPacer, BacksOffWhileTheDeviceAnswersAndStopsWhenItFallsSilent) {
  const ResendPace pace{500ms, 4000ms, 12000ms};
  std::vector<std::chrono::milliseconds> everySecond;
  for (auto t = 0ms; t <= 60000ms; t += 1000ms) everySecond.push_back(t);
  const struct {
    const char* name;
    std::chrono::milliseconds until;
    std::vector<std::chrono::milliseconds> heard;
    std::vector<std::chrono::milliseconds> sends;
  } cases[] = {
      // Heard all along: the gaps double up to the cap, with no bound on the count.
      {"answers all along",
       30000ms,
       everySecond,
       {0ms, 500ms, 1500ms, 3500ms, 7500ms, 11500ms, 15500ms, 19500ms, 23500ms, 27500ms}},
      // Never heard after the first send: nothing once 12 s have passed since it.
      {"silent from the start", 30000ms, {}, {0ms, 500ms, 1500ms, 3500ms, 7500ms, 11500ms}},
      // Heard again after a silence: the resends go on.
      {"back after a silence",
       23000ms,
       {20000ms},
       {0ms, 500ms, 1500ms, 3500ms, 7500ms, 11500ms, 20000ms}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(SendsUntil(pace, c.until, c.heard), c.sends);
  }
}

TEST(ResendPacer, NothingIsDueBeforeTheFirstSendAndACapBelowTheFirstGapKeepsTheFirst) {
  CResendPacer pacer({2000ms, 1000ms, 12000ms});
  EXPECT_FALSE(pacer.Due(5000ms));
  EXPECT_FALSE(pacer.Silent(60000ms));
  pacer.Sent(0ms);
  EXPECT_FALSE(pacer.Due(1999ms));
  EXPECT_TRUE(pacer.Due(2000ms));
  pacer.Sent(2000ms);
  EXPECT_EQ(pacer.Gap(), 2000ms);
}

TEST(DiscoverySchedule, RepeatsInTheFirstSecondsThenEveryPeriodWithoutBursts) {
  CDiscoverySchedule schedule;
  using Send = CDiscoverySchedule::Send;
  std::vector<std::pair<std::chrono::milliseconds, Send>> sent;
  for (auto t = 0ms; t <= 14000ms; t += 50ms) {
    const Send s = schedule.Due(t);
    if (s != Send::kNothing) sent.push_back({t, s});
  }
  const std::vector<std::pair<std::chrono::milliseconds, Send>> expected = {
      {0ms, Send::kNewRound},  {500ms, Send::kRepeat},    {1500ms, Send::kRepeat},
      {3000ms, Send::kRepeat}, {8000ms, Send::kNewRound}, {13000ms, Send::kNewRound}};
  EXPECT_EQ(sent, expected);
  EXPECT_EQ(schedule.Next(), 18000ms);

  // A caller that looks late sends once, the latest that was due, and carries on from there.
  CDiscoverySchedule late(1000ms);
  EXPECT_EQ(late.Due(0ms), Send::kNewRound);
  EXPECT_EQ(late.Due(4200ms), Send::kNewRound);  // 0.5, 1.5, 3 and 4 s passed unasked
  EXPECT_EQ(late.Due(4300ms), Send::kNothing);
  EXPECT_EQ(late.Next(), 5000ms);
}
