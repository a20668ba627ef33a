#include "core/upgrade/rollout_csv.h"

#include <gtest/gtest.h>

namespace {

TEST(RolloutCsv, OneQuotedLinePerDeviceWithItsResultAndSeconds) {
  RolloutEntry done;
  done.device = {"10.213.1.2", "02:1A:2B:00:00:02", "021A2B000002", "IM-700",
                 "1-0102",     "105.30.1.1"};
  done.oldVersion = "105.30.1.1";
  done.newVersion = "105.40.1.1";
  done.result = RolloutEntry::Result::kCompleted;
  done.elapsed = std::chrono::milliseconds(61600);
  RolloutEntry hostile = done;
  hostile.device.model = "=HYPERLINK(\"x\")";  // a device text is no formula in a spreadsheet
  hostile.newVersion = "105.30.1.1";
  hostile.result = RolloutEntry::Result::kFailed;

  EXPECT_EQ(FormatRolloutCsv({done, hostile}),
            "\"MAC Address\",\"IP Address\",\"Model\",\"Room Number\",\"Old Version\","
            "\"New Version\",\"Result\",\"Seconds\"\r\n"
            "\"02:1A:2B:00:00:02\",\"10.213.1.2\",\"IM-700\",\"1-0102\",\"105.30.1.1\","
            "\"105.40.1.1\",\"completed\",62\r\n"
            "\"02:1A:2B:00:00:02\",\"10.213.1.2\",\"'=HYPERLINK(\"\"x\"\")\",\"1-0102\","
            "\"105.30.1.1\",\"105.30.1.1\",\"failed\",62\r\n");
  // Result texts in the reader's language, by the result's number.
  const std::string german = FormatRolloutCsv(
      {done}, RolloutCsvHeader(), {"wartet", "läuft", "abgeschlossen", "fehlgeschlagen"});
  EXPECT_NE(german.find("\"abgeschlossen\",62"), std::string::npos) << german;
}

}  // namespace
