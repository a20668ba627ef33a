// The reply parsers' fallback over every device key: cheap per key, bounded per second.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "protocol/envelope_key_cache.h"
#include "protocol/fallback_budget.h"
#include "protocol/msg_handle.h"
#include "protocol/text_field.h"
#include "protocol_test_util.h"

namespace {

std::vector<std::string> DeviceKeys(int count) {
  std::vector<std::string> keys;
  char text[32];
  for (int i = 0; i < count; ++i) {
    std::snprintf(text, sizeof(text), "02:1A:2B:%02X:%02X:%02X", (i >> 16) & 0xFF, (i >> 8) & 0xFF,
                  i & 0xFF);
    keys.push_back(text);
  }
  return keys;
}

std::vector<uint8_t> RandomBlocks(std::mt19937& random, int blocks) {
  std::vector<uint8_t> bytes(static_cast<size_t>(blocks) * kAesBlock);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

TEST(FallbackBudget, RefusesPastTheLimitUntilTheNextSecond) {
  CFallbackBudget budget(100);
  bool first = true;
  EXPECT_TRUE(budget.Allow(5000, &first));
  EXPECT_FALSE(first);
  budget.Spend(60);
  EXPECT_TRUE(budget.Allow(5100, &first));  // 60 of 100 spent: the next datagram may still try
  budget.Spend(60);
  EXPECT_FALSE(budget.Allow(5200, &first));
  EXPECT_TRUE(first);  // logged once a second
  EXPECT_FALSE(budget.Allow(5999, &first));
  EXPECT_FALSE(first);
  EXPECT_EQ(budget.Refused(), 2u);
  EXPECT_TRUE(budget.Allow(6000, &first));
}

TEST(EnvelopeKeyCache, FindsTheSendersKeyAmongThousandsAndPassesFewOthers) {
  const std::vector<std::string> keys = DeviceKeys(3000);
  CEnvelopeKeyCache cache;
  const std::string reply = "<Msg>\r\n\t<Type>Ack</Type>\r\n</Msg>\r\n";
  for (const bool prefixed : {false, true}) {
    const std::vector<uint8_t> sent = Encrypted(reply, keys[2345], prefixed);
    size_t i = cache.NextCandidateKey(sent.data(), int(sent.size()), keys, 0);
    int candidates = 0;
    for (; i < keys.size() && i != 2345;
         i = cache.NextCandidateKey(sent.data(), int(sent.size()), keys, i + 1)) {
      ++candidates;
    }
    EXPECT_EQ(i, 2345u) << "prefixed " << prefixed;
    // A wrong key gives random bytes: about one in 256 starts with '<' or white space.
    EXPECT_LT(candidates, 100) << "prefixed " << prefixed;
  }
  // Lengths no key can decrypt are refused without a try.
  std::mt19937 random(1);
  std::vector<uint8_t> odd = RandomBlocks(random, 3);
  odd.pop_back();
  EXPECT_EQ(cache.NextCandidateKey(odd.data(), int(odd.size()), keys, 0), keys.size());
  EXPECT_EQ(cache.NextCandidateKey(odd.data(), 0, keys, 0), keys.size());
}

// Junk that fits no key, from a segment with thousands of devices: every parse fails, the
// fallback stops trying other keys once the second's budget is spent, and a genuine reply
// under another device's key is still found while the budget lasts.
TEST(FallbackKeys, JunkSpendsTheBudgetAndGenuineRepliesStillParse) {
  // A budget of four full scans a second, so the test does not depend on the machine's speed.
  constexpr int64_t kBudget = 4 * 5000;
  CMsgHandle handle(kBudget);
  const std::vector<std::string> keys = DeviceKeys(5000);
  handle.SetFallbackKeySource([&keys] { return keys; });
  const std::string ack =
      "<Msg>\r\n\t<Params>\r\n\t\t<Info>done</Info>\r\n\t</Params>\r\n</Msg>\r\n";
  const std::vector<uint8_t> genuine = Encrypted(ack, keys[4999], false);
  MSG_ACK_T out;
  ASSERT_EQ(handle.ParseAckMsg(genuine.data(), &out, "0A:00:00:00:00:01", int(genuine.size()), 2),
            0);
  EXPECT_EQ(FieldToUtf8(out.szInfo), "done");

  std::mt19937 random(7);
  const int perSecond = static_cast<int>(kBudget / 5000);
  // A second's budget covers about perSecond junk datagrams; a window may start mid-loop.
  for (int i = 0; i < 3 * perSecond && handle.FallbackRefusals() == 0; ++i) {
    const std::vector<uint8_t> junk = RandomBlocks(random, 8);
    ASSERT_EQ(handle.ParseAckMsg(junk.data(), &out, "0A:00:00:00:00:01", int(junk.size()), 2), -1);
  }
  EXPECT_GT(handle.FallbackRefusals(), 0u);
}

// A table larger than a second's budget: one sweep tries no more keys than the budget holds, so a
// reply under a key past that point is not found by the fallback, and the budget is spent exactly.
TEST(FallbackKeys, OneSweepStaysWithinTheBudgetWhateverTheTableSize) {
  constexpr int64_t kBudget = 1000;
  CMsgHandle handle(kBudget);
  const std::vector<std::string> keys = DeviceKeys(5000);
  handle.SetFallbackKeySource([&keys] { return keys; });
  const std::string ack =
      "<Msg>\r\n\t<Params>\r\n\t\t<Info>done</Info>\r\n\t</Params>\r\n</Msg>\r\n";
  MSG_ACK_T out;
  const std::vector<uint8_t> nearKey = Encrypted(ack, keys[10], false);
  ASSERT_EQ(handle.ParseAckMsg(nearKey.data(), &out, "0A:00:00:00:00:01", int(nearKey.size()), 2),
            0);
  const std::vector<uint8_t> farKey = Encrypted(ack, keys[4000], false);
  EXPECT_EQ(handle.ParseAckMsg(farKey.data(), &out, "0A:00:00:00:00:01", int(farKey.size()), 2),
            -1);
  CFallbackBudget budget(100);
  EXPECT_TRUE(budget.Allow(0, nullptr));
  EXPECT_EQ(budget.Left(), 100);
  budget.Spend(70);
  EXPECT_EQ(budget.Left(), 30);
}

}  // namespace
