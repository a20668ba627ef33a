#include "core/export/csv_export.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace {

DEVICE_ENTRY_T Entry(const char* ip, const char* mac, const char* model, const char* room,
                     const char* fw) {
  return DEVICE_ENTRY_T{ip, mac, "IGNORED0WORK", model, room, fw};
}

TEST(CsvExport, WritesHeaderAndNumberedRowsWithCrLf) {
  const std::vector<DEVICE_ENTRY_T> rows = {
      Entry("192.168.1.10", "02:1A:2B:3C:4D:5E", "DU-Door", "1-1-1", "29.30.1.2"),
      Entry("192.168.1.11", "021A2B3C4D5F", "", "", ""),
  };
  EXPECT_EQ(
      CCsvExport::FormatFile(rows),
      "Index,\"IP Address\",\"MAC Address\",\"Model\",\"Room Number\",\"Firmware Version\"\r\n"
      "1,\"192.168.1.10\",\"02:1A:2B:3C:4D:5E\",\"DU-Door\",\"1-1-1\",\"29.30.1.2\"\r\n"
      "2,\"192.168.1.11\",\"021A2B3C4D5F\",\"\",\"\",\"\"\r\n");
}

TEST(CsvExport, CatalogHeaderTextsAndUtf8PassThroughWithoutBom) {
  CsvHeaderTexts texts{"Nr", "IP-Adresse", "MAC-Adresse", "Modell", "Raumnummer", "Firmware"};
  const DEVICE_ENTRY_T row = Entry("10.0.0.1", "AA", "Tür", "Zimmer 3", "1.0");
  const std::string bytes = CCsvExport::FormatFile(std::vector<DEVICE_ENTRY_T>{row}, texts);
  EXPECT_EQ(bytes,
            "Nr,\"IP-Adresse\",\"MAC-Adresse\",\"Modell\",\"Raumnummer\",\"Firmware\"\r\n"
            "1,\"10.0.0.1\",\"AA\",\"T\xC3\xBCr\",\"Zimmer 3\",\"1.0\"\r\n");
}

TEST(CsvExport, QuotesInsideValuesAreDoubledSoTheLineStaysParseable) {
  const DEVICE_ENTRY_T row = Entry("10.0.0.1", "AA", "say \"hi\", ok", "r", "f");
  EXPECT_EQ(CCsvExport::FormatRow(7, row),
            "7,\"10.0.0.1\",\"AA\",\"say \"\"hi\"\", ok\",\"r\",\"f\"\r\n");
  CsvHeaderTexts texts;
  texts.index = "No, \"n\"";
  EXPECT_EQ(CCsvExport::FormatHeader(texts).substr(0, 12), "\"No, \"\"n\"\"\",");
}

// Device texts are untrusted: a formula start gets a single quote, control characters other
// than tab are dropped (before the formula check, so "\n=1" is guarded too), all else is kept.
TEST(CsvExport, FormulaStartsAreQuotedAndControlCharactersDropped) {
  const struct {
    const char* model;
    const char* cell;
  } cases[] = {
      {"=HYPERLINK(\"http://x\",\"y\")", "\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\""},
      {"+cmd|' /C calc'!A0", "\"'+cmd|' /C calc'!A0\""},
      {"-1+1", "\"'-1+1\""},
      {"@SUM(A1)", "\"'@SUM(A1)\""},
      {"\x1b]0;x\x07"
       "Door\x7f",
       "\"]0;xDoor\""},
      {"\r\n=1", "\"'=1\""},
      {"a\tb", "\"a\tb\""},
      {"\t=1", "\"'\t=1\""},  // a leading tab does not hide a formula
      {"\t\r@a", "\"'\t@a\""},
      {"DS-100 =1", "\"DS-100 =1\""},
      {"T\xc3\xbcr 'A'", "\"T\xc3\xbcr 'A'\""},
      {"", "\"\""},
  };
  for (const auto& c : cases) {
    const std::string line = CCsvExport::FormatRow(1, Entry("10.0.0.1", "AA", c.model, "r", "f"));
    EXPECT_EQ(line, std::string("1,\"10.0.0.1\",\"AA\",") + c.cell + ",\"r\",\"f\"\r\n") << c.model;
  }
  // Every cell gets the rule, not only the model.
  EXPECT_EQ(CCsvExport::FormatRow(2, Entry("=1", "@a", "m", "-1-101", "+2")),
            "2,\"'=1\",\"'@a\",\"m\",\"'-1-101\",\"'+2\"\r\n");
  // The header's first field is a catalog text: guarded too.
  CsvHeaderTexts texts;
  texts.index = "=1+1";
  EXPECT_EQ(CCsvExport::FormatHeader(texts).substr(0, 8), "\"'=1+1\",");
}

TEST(CsvExport, MissingRowsStillCountForTheNumbering) {
  const DEVICE_ENTRY_T a = Entry("1.1.1.1", "A", "m", "r", "f");
  const DEVICE_ENTRY_T c = Entry("3.3.3.3", "C", "m", "r", "f");
  const std::string bytes =
      CCsvExport::FormatFile(std::vector<const DEVICE_ENTRY_T*>{&a, nullptr, &c});
  EXPECT_NE(bytes.find("\r\n1,\"1.1.1.1\""), std::string::npos);
  EXPECT_NE(bytes.find("\r\n3,\"3.3.3.3\""), std::string::npos);
  EXPECT_EQ(bytes.find("\r\n2,"), std::string::npos);
}

TEST(CsvExport, ExportPathAppendsExtensionUnlessPresentInAnyCase) {
  const struct {
    const char* chosen;
    const char* path;
  } cases[] = {
      {"devices", "devices.csv"}, {"list.CsV", "list.CsV"}, {"/tmp/a.csv", "/tmp/a.csv"},
      {"a.txt", "a.txt.csv"},     {"csv", "csv.csv"},       {"", ".csv"},
  };
  for (const auto& c : cases) EXPECT_EQ(CCsvExport::ExportPath(c.chosen), c.path) << c.chosen;
}

TEST(CsvExport, WriteFileTruncatesAndWritesExactBytes) {
  const std::string path = ::testing::TempDir() + "csv_export_test.csv";
  {
    std::ofstream old(path, std::ios::binary);
    old << std::string(500, 'x');
  }
  const std::string bytes = CCsvExport::FormatFile(std::vector<DEVICE_ENTRY_T>{});
  ASSERT_TRUE(CCsvExport::WriteFile(path, bytes));
  std::ifstream in(path, std::ios::binary);
  const std::string read((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(read, bytes);
  std::remove(path.c_str());
  EXPECT_FALSE(CCsvExport::WriteFile("/nonexistent-dir/x.csv", bytes));
}

}  // namespace
