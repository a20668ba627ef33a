#include "shell/log_record.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Build(int level, const std::string& text) {
  std::vector<uint8_t> buffer(kLogDatagramMaxBytes, 0xCC);
  buffer.resize(static_cast<size_t>(BuildLogDatagram(level, text, buffer.data())));
  return buffer;
}

TEST(LogDatagram, InfoLineHasTheFixedLayout) {
  const std::vector<uint8_t> d = Build(6, "Init successs.");
  ASSERT_EQ(d.size(), 64u);
  EXPECT_EQ(d[0], 0xBE);
  EXPECT_EQ(d[1], 0xBF);
  EXPECT_EQ(d[2], 0x06);
  EXPECT_EQ(d[3], 0x00);
  const std::string module = "IPScanner";
  for (size_t i = 0; i < 16; ++i) {
    const uint8_t expected = i < module.size() ? static_cast<uint8_t>(module[i]) : 0;
    EXPECT_EQ(d[4 + 2 * i], expected) << "module char " << i;
    EXPECT_EQ(d[5 + 2 * i], 0) << "module char " << i;
  }
  const std::string text = "Init successs.";
  for (size_t i = 0; i < text.size(); ++i) {
    EXPECT_EQ(d[36 + 2 * i], static_cast<uint8_t>(text[i]));
    EXPECT_EQ(d[37 + 2 * i], 0);
  }
}

TEST(LogDatagram, LongLinesAreCutTo511Characters) {
  struct Case {
    const char* name;
    std::string text;
    size_t expectedBytes;
    std::string expectedTail;  // last characters of the decoded text
  };
  const std::string emoji = "\xF0\x9F\x98\x80";  // one character outside the BMP: a UTF-16 pair
  const std::vector<Case> cases = {
      {"exactly 511", std::string(511, 'a'), 36 + 2 * 511, "a"},
      {"600 ascii", std::string(599, 'b') + "Z", 36 + 2 * 511, "b"},
      // 510 characters and then a pair: cutting at 511 would split it, so the pair goes.
      {"pair across the cut", std::string(510, 'c') + emoji, 36 + 2 * 510, "c"},
      {"pair before the cut", std::string(509, 'd') + emoji + "e", 36 + 2 * 511, emoji},
      {"empty", "", 36, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> d = Build(7, c.text);
    ASSERT_EQ(d.size(), c.expectedBytes);
    LOG_RECORD_T record;
    std::string error;
    ASSERT_TRUE(DecodeLogDatagram(d.data(), d.size(), &record, &error)) << error;
    EXPECT_EQ(record.text.find("\xEF\xBF\xBD"), std::string::npos) << "no replacement character";
    EXPECT_TRUE(record.text.ends_with(c.expectedTail));
  }
}

TEST(LogDatagram, RoundTripsLevelsModuleAndNonAsciiText) {
  const std::string text = "Z\xC3\xBCrich \xE2\x82\xAC \xF0\x9F\x98\x80 192.168.1.10";
  for (const int level : {3, 6, 7}) {
    const std::vector<uint8_t> d = Build(level, text);
    LOG_RECORD_T record;
    ASSERT_TRUE(DecodeLogDatagram(d.data(), d.size(), &record, nullptr));
    EXPECT_EQ(record.level, level);
    EXPECT_EQ(record.module, "IPScanner");
    EXPECT_EQ(record.text, text);
  }
}

TEST(LogDatagram, InvalidUtf8BecomesReplacementCharacters) {
  // A lone continuation byte, a truncated sequence and an overlong '/' each become U+FFFD.
  const std::vector<uint8_t> d = Build(6,
                                       "a\x80"
                                       "b\xE2\x82"
                                       "c\xC0\xAF");
  LOG_RECORD_T record;
  ASSERT_TRUE(DecodeLogDatagram(d.data(), d.size(), &record, nullptr));
  EXPECT_EQ(record.text,
            "a\xEF\xBF\xBD"
            "b\xEF\xBF\xBD"
            "c\xEF\xBF\xBD");
}

TEST(LogDatagramDecode, RejectsMalformedDatagrams) {
  std::vector<uint8_t> good = Build(6, "hello");
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* reason;
  };
  std::vector<uint8_t> wrongMarker = good;
  wrongMarker[1] = 0xBE;
  std::vector<uint8_t> oddLength = good;
  oddLength.push_back('x');
  const std::vector<Case> cases = {
      {"empty", {}, "too short"},
      {"35 bytes", std::vector<uint8_t>(good.begin(), good.begin() + 35), "too short"},
      {"wrong marker", wrongMarker, "wrong markers"},
      {"odd length", oddLength, "odd length"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LOG_RECORD_T record;
    std::string error;
    EXPECT_FALSE(DecodeLogDatagram(c.bytes.data(), c.bytes.size(), &record, &error));
    EXPECT_EQ(error, c.reason);
  }
}

TEST(LogDatagramDecode, ModuleFieldWithoutTerminatorStopsAtSixteenCharacters) {
  std::vector<uint8_t> d(36 + 4, 0);
  d[0] = 0xBE;
  d[1] = 0xBF;
  d[2] = 3;
  for (int i = 0; i < 16; ++i) d[4 + 2 * i] = 'M';
  d[36] = 'o';
  d[38] = 'k';
  LOG_RECORD_T record;
  ASSERT_TRUE(DecodeLogDatagram(d.data(), d.size(), &record, nullptr));
  EXPECT_EQ(record.module, std::string(16, 'M'));
  EXPECT_EQ(record.text, "ok");
}

TEST(LogLine, NamesLevelsAndKeepsOneDatagramOnOneLine) {
  LOG_RECORD_T record{6, "IPScanner", "first\r\nsecond\x01"};
  EXPECT_EQ(FormatLogLine(record, "12:00:00.000"),
            "12:00:00.000 INFO IPScanner first\\r\\nsecond\\x01");
  // The module field is as foreign as the text: an escape sequence in it is shown, not obeyed.
  const LOG_RECORD_T forged{6, "\x1b[2J\x1b]0;x\a", "text"};
  EXPECT_EQ(FormatLogLine(forged, "12:00:00.000").find('\x1b'), std::string::npos);
  EXPECT_EQ(LogLevelName(7), "DEBUG");
  EXPECT_EQ(LogLevelName(3), "ERROR");
  EXPECT_EQ(LogLevelName(4), "4");
}

}  // namespace
