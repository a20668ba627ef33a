#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "report/report_csv.h"
#include "report/report_model.h"
#include "report/report_pdf.h"
#include "site_test_folder.h"

namespace {

TEST(Report, RoomsSortByTheirNumbers) {
  std::vector<std::string> rooms = {"1-0110", "",    "1-010", "2-1", "1-0101",
                                    "A-2",    "1-2", "A-10",  "01-2"};
  std::stable_sort(rooms.begin(), rooms.end(), RoomBefore);
  const std::vector<std::string> expected = {"1-2", "01-2", "1-010", "1-0101", "1-0110",
                                             "2-1", "A-2",  "A-10",  ""};
  EXPECT_EQ(rooms, expected);
}

TEST(Report, DevicesTakeTheSettingsTheyReportedNow) {
  std::vector<SITE_DEVICE_ROW_T> rows(3);
  rows[0] = {"AA:00:00:00:00:01", 1,           2, "10.0.0.1", "M1", "1-10", "1.0", "dhcp",
             "255.0.0.0",         "10.0.0.254"};
  rows[1] = {"AA:00:00:00:00:02", 1, 2, "10.0.0.2", "M1", "1-2", "1.0", "", "", ""};
  rows[2] = {"AA:00:00:00:00:03", 1, 2, "10.0.0.3", "", "1-3", "2.0", "static", "", ""};
  std::map<std::string, REPORT_LIVE_T> live;
  live["AA:00:00:00:00:02"] = {"10.0.0.22", "static", "255.255.0.0", "10.0.0.1"};
  const auto devices = ReportDevices(rows, live);
  ASSERT_EQ(devices.size(), 3u);
  EXPECT_EQ(devices[0].room, "1-2");
  EXPECT_TRUE(devices[0].answered);
  EXPECT_EQ(devices[0].ip, "10.0.0.22");
  EXPECT_EQ(devices[0].mode, "static");
  EXPECT_FALSE(devices[2].answered);
  EXPECT_EQ(devices[2].mode, "dhcp") << "the recorded mode stays for a silent device";
  EXPECT_EQ(CountMode(devices, "static"), 2u);
  EXPECT_EQ(DevicesPerModel(devices).at("unknown"), 1u);
  EXPECT_EQ(FirmwarePerModel(devices).at("M1").at("1.0"), 2u);
}

TEST(Report, SinceDates) {
  EXPECT_GT(ParseReportDate("2026-12-10"), 0);
  EXPECT_EQ(ParseReportDate("2026-12-10 08:30") - ParseReportDate("2026-12-10"), 8.5 * 3600000);
  for (const char* bad : {"", "yesterday", "2026-13-01", "2026-12-10 25:00", "2026-12-10x",
                          "2026-12-10 08:30 extra"}) {
    EXPECT_EQ(ParseReportDate(bad), -1) << bad;
  }
}

TEST(Report, DeviceTextsAreMadeSafeForThePage) {
  struct Case {
    std::string in, out;
  };
  const Case cases[] = {
      {"1-0101", "1-0101"},
      {"Tür 3 – Süd", "Tür 3 – Süd"},
      {"a\x1b[2Jb", "a?[2Jb"},                         // control characters
      {"x\xc2\x85y", "x?y"},                           // C1 control
      {"bad\xff\xfe", "bad\xEF\xBF\xBD\xEF\xBF\xBD"},  // broken UTF-8
      {"\xc0\xaf", "\xEF\xBF\xBD\xEF\xBF\xBD"},        // overlong '/'
      {"\xe2\x82", "\xEF\xBF\xBD\xEF\xBF\xBD"},        // cut sequence
  };
  for (const Case& c : cases) EXPECT_EQ(ReportSafeText(c.in), c.out) << c.in;
  EXPECT_EQ(ReportSafeText(std::string(1000, 'x')).size(), 256u);
  EXPECT_EQ(ReportSafeText("ééé", 5), "éé") << "cut at a character boundary";
}

REPORT_T SampleReport(size_t devices) {
  REPORT_T report;
  report.site = "handover";
  report.version = "1.0.0.1";
  report.created = 1'700'000'000'000;
  for (size_t i = 0; i < devices; ++i) {
    char mac[20];
    std::snprintf(mac, sizeof(mac), "AA:00:00:00:%02X:%02X", static_cast<unsigned>(i / 256),
                  static_cast<unsigned>(i % 256));
    report.devices.push_back({"1-" + std::to_string(i), "10.0.0.1", mac, "=cmd|' /C calc'!A0",
                              "1.0", "dhcp", "255.0.0.0", "10.0.0.254", i % 7 != 0, 1});
  }
  SITE_OPERATION_ROW_T op{1, 1, "upgrade", "cli", R"({"image":"2.0.rom"})", {}};
  op.results.push_back({"AA:00:00:00:00:01", true, "completed"});
  report.operations.push_back(op);
  return report;
}

TEST(Report, CsvHasTheFixedHeaderAndSafeCells) {
  const std::string csv = FormatReportCsv(SampleReport(2));
  EXPECT_EQ(csv.substr(0, csv.find("\r\n")),
            "room,ip,mac,model,firmware,mode,mask,gateway,status,last_seen");
  EXPECT_NE(csv.find("\"'=cmd"), std::string::npos) << "a formula is written as text";
  EXPECT_NE(csv.find("\"no_answer\""), std::string::npos);
  EXPECT_NE(csv.find("\"1970-01-01T00:00:00Z\""), std::string::npos);
}

TEST(Report, PdfIsWrittenOrTheFailureSaid) {
  CTestFolder folder;
  std::string error;
  const std::string path = folder.File("report.pdf");
  ASSERT_TRUE(WriteReportPdf(SampleReport(500), path, &error)) << error;
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes.substr(0, 5), "%PDF-");
  // Cover, summary, 500 rows at 38 a page (14 pages) and the operations.
  auto count = [&bytes](const std::string& needle) {
    size_t n = 0;
    for (size_t at = bytes.find(needle); at != std::string::npos; at = bytes.find(needle, at + 1))
      ++n;
    return n;
  };
  EXPECT_EQ(count("/Type /Page") - count("/Type /Pages"), 17u);

  EXPECT_FALSE(WriteReportPdf(SampleReport(1), folder.File("missing/report.pdf"), &error));
  EXPECT_NE(error.find("missing/report.pdf"), std::string::npos) << error;
}

}  // namespace
