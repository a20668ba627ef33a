#include "platform/ini_profile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

class IniProfileTest : public ::testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/ini_profile_test_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    path_ = dir_ + "/SystemSetting.ini";
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  void WriteFile(const std::string& content) {
    std::ofstream out(path_, std::ios::binary);
    out << content;
  }
  std::string ReadFile() const {
    std::ifstream in(path_, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
  }
  std::string dir_;
  std::string path_;
};

TEST_F(IniProfileTest, AbsentFileSectionOrKeyReadsAsDefault) {
  EXPECT_EQ(GetPrivateProfileString("LANGUAGE_SETTING", "Language", "dflt", 32, path_), "dflt");
  WriteFile("[LANGUAGE_SETTING]\nLanguage=German\n");
  EXPECT_EQ(GetPrivateProfileString("OTHER", "Language", "dflt", 32, path_), "dflt");
  EXPECT_EQ(GetPrivateProfileString("LANGUAGE_SETTING", "Other", "", 32, path_), "");
  EXPECT_EQ(GetPrivateProfileString("LANGUAGE_SETTING", "Language", "", 32, path_), "German");
}

TEST_F(IniProfileTest, NamesIgnoreCaseFirstDuplicateWinsQuotesDropped) {
  WriteFile(
      "[ net_conn_setting ]\n  INTERFACE = eth0 (00:11:22:33:44:55)  \ninterface=second\n"
      "Quoted=\"with spaces \"\n");
  EXPECT_EQ(GetPrivateProfileString("NET_CONN_SETTING", "Interface", "", 128, path_),
            "eth0 (00:11:22:33:44:55)");
  EXPECT_EQ(GetPrivateProfileString("Net_Conn_Setting", "quoted", "", 128, path_), "with spaces ");
}

TEST_F(IniProfileTest, ValueIsCutToBufferSizeAtCharacterBoundary) {
  struct Case {
    std::string value;
    int maxChars;
    std::string expected;
  } cases[] = {
      {"abcdef", 4, "abc"},
      {"abc", 4, "abc"},
      {"abc", 1, ""},
      {"abc", 0, ""},
      {"\xC3\xA4\xC3\xB6\xC3\xBC", 3, "\xC3\xA4\xC3\xB6"},  // two of three umlauts
      {"a\xF0\x9F\x98\x80", 3, "a"},                        // a surrogate pair never split
      {"a\xF0\x9F\x98\x80", 4, "a\xF0\x9F\x98\x80"},
  };
  for (const Case& c : cases) {
    WriteFile("[S]\nK=" + c.value + "\n");
    EXPECT_EQ(GetPrivateProfileString("S", "K", "", c.maxChars, path_), c.expected)
        << c.value << " / " << c.maxChars;
  }
  // The default is cut the same way.
  EXPECT_EQ(GetPrivateProfileString("S", "Absent", "defaultvalue", 4, path_), "def");
}

TEST_F(IniProfileTest, WriteCreatesFolderFileSectionAndKey) {
  path_ = dir_ + "/config/SystemSetting.ini";
  ASSERT_TRUE(WritePrivateProfileString("LANGUAGE_SETTING", "Language", "German", path_));
  EXPECT_EQ(ReadFile(), "[LANGUAGE_SETTING]\nLanguage=German\n");
  ASSERT_TRUE(WritePrivateProfileString("NET_CONN_SETTING", "IP", "10.0.0.2", path_));
  ASSERT_TRUE(WritePrivateProfileString("LANGUAGE_SETTING", "Extra", "1", path_));
  EXPECT_EQ(ReadFile(),
            "[LANGUAGE_SETTING]\nLanguage=German\nExtra=1\n[NET_CONN_SETTING]\nIP=10.0.0.2\n");
  // No temporary file stays behind.
  int entries = 0;
  for (const auto& entry : fs::directory_iterator(dir_ + "/config")) {
    (void)entry;
    ++entries;
  }
  EXPECT_EQ(entries, 1);
}

TEST_F(IniProfileTest, WriteKeepsEveryOtherByte) {
  const std::string original =
      "; settings of the scanner\r\n"
      "\r\n"
      "[LANGUAGE_SETTING]\r\n"
      "  language = English   \r\n"
      "# kept comment\r\n"
      "\r\n"
      "[NET_CONN_SETTING]\r\n"
      "Interface=All\r\n"
      "AdapterName=All\r\n"
      "; trailing comment of the section\r\n"
      "\r\n"
      "[Other]\r\n"
      "Key=Value";  // last line without a line ending
  WriteFile(original);

  // Existing key (other case): only its value changes.
  ASSERT_TRUE(WritePrivateProfileString("language_setting", "LANGUAGE", "German", path_));
  std::string expected = original;
  expected.replace(expected.find("English   "), 10, "German");
  EXPECT_EQ(ReadFile(), expected);

  // New key in an existing section: right after that section's last key.
  ASSERT_TRUE(WritePrivateProfileString("NET_CONN_SETTING", "IP", "10.0.0.2", path_));
  expected.insert(expected.find("; trailing comment"), "IP=10.0.0.2\r\n");
  EXPECT_EQ(ReadFile(), expected);

  // New key in the last section, whose last line had no line ending.
  ASSERT_TRUE(WritePrivateProfileString("Other", "Second", "2", path_));
  expected += "\r\nSecond=2\r\n";
  EXPECT_EQ(ReadFile(), expected);

  EXPECT_EQ(GetPrivateProfileString("LANGUAGE_SETTING", "Language", "", 32, path_), "German");
  EXPECT_EQ(GetPrivateProfileString("NET_CONN_SETTING", "IP", "", 32, path_), "10.0.0.2");
  EXPECT_EQ(GetPrivateProfileString("Other", "Key", "", 32, path_), "Value");
}

TEST_F(IniProfileTest, ReaderAndWriterAgreeOnEveryLineEnding) {
  // The writer must find the very key the reader returns, or a write would seem lost.
  struct Case {
    std::string original;
    std::string expected;
  } cases[] = {
      {"[A]\rK=1\rL=x\r", "[A]\rK=2\rL=x\r"},
      {"[A]\nK=1", "[A]\nK=2"},
      {"[A]\r\nK = 1 \r\n", "[A]\r\nK = 2\r\n"},
      // A byte-order mark in front of the first section (as some editors save it) stays.
      {"\xEF\xBB\xBF[A]\r\nK=1\r\n", "\xEF\xBB\xBF[A]\r\nK=2\r\n"},
  };
  for (const Case& c : cases) {
    WriteFile(c.original);
    ASSERT_TRUE(WritePrivateProfileString("A", "K", "2", path_));
    EXPECT_EQ(ReadFile(), c.expected);
    EXPECT_EQ(GetPrivateProfileString("A", "K", "", 8, path_), "2");
  }
}

TEST_F(IniProfileTest, ConcurrentWritesLoseNothingAndReadersNeverSeeAHalfFile) {
  WriteFile("[S]\nSeen=yes\n");
  std::atomic<bool> done{false};
  std::atomic<int> missed{0};
  std::thread reader([&] {
    while (!done) {
      if (GetPrivateProfileString("S", "Seen", "", 8, path_) != "yes") ++missed;
    }
  });
  std::vector<std::thread> writers;
  for (int t = 0; t < 3; ++t) {
    writers.emplace_back([this, t] {
      for (int i = 0; i < 10; ++i) {
        WritePrivateProfileString("S", "K" + std::to_string(t) + "_" + std::to_string(i), "v",
                                  path_);
      }
    });
  }
  for (std::thread& writer : writers) writer.join();
  done = true;
  reader.join();
  EXPECT_EQ(missed, 0);
  EXPECT_EQ(GetPrivateProfileSection("S", path_).size(), 31u);
}

TEST_F(IniProfileTest, WriteKeepsFileMode) {
  WriteFile("[S]\nK=1\n");
  ASSERT_EQ(::chmod(path_.c_str(), 0600), 0);
  ASSERT_TRUE(WritePrivateProfileString("S", "K", "2", path_));
  struct stat st {};
  ASSERT_EQ(::stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(IniProfileTest, WriteRefusesTextsThatWouldBreakTheFile) {
  const std::string original = "[S]\nK=1\n";
  WriteFile(original);
  EXPECT_FALSE(WritePrivateProfileString("S", "K", "2\n[Injected]", path_));
  EXPECT_FALSE(WritePrivateProfileString("S", "A=B", "2", path_));
  EXPECT_FALSE(WritePrivateProfileString("S]x", "K", "2", path_));
  EXPECT_FALSE(WritePrivateProfileString("S", "", "2", path_));
  EXPECT_FALSE(WritePrivateProfileString("S", ";K", "2", path_));
  // The reader takes a NUL byte for a line break.
  EXPECT_FALSE(WritePrivateProfileString("S", "K", std::string("2\0[Injected]", 12), path_));
  EXPECT_EQ(ReadFile(), original);
  // A folder that cannot exist (below a file) fails without a crash.
  EXPECT_FALSE(WritePrivateProfileString("S", "K", "2", path_ + "/below/file.ini"));
}

TEST_F(IniProfileTest, DamagedFileNeitherCrashesNorBlocksAWrite) {
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 7919 + 13) % 256);
  garbage += std::string("\0[half\n=\n[]\n]]]", 15);
  WriteFile(garbage);
  EXPECT_EQ(GetPrivateProfileString("LANGUAGE_SETTING", "Language", "x", 32, path_), "x");
  (void)GetPrivateProfileSection("ModelName", path_, 10240);
  ASSERT_TRUE(WritePrivateProfileString("LANGUAGE_SETTING", "Language", "German", path_));
  EXPECT_EQ(GetPrivateProfileString("LANGUAGE_SETTING", "Language", "", 32, path_), "German");
  EXPECT_EQ(ReadFile().substr(0, garbage.size()), garbage);

  // A folder in place of the file reads as default and is not replaced.
  fs::create_directory(dir_ + "/folder.ini");
  EXPECT_EQ(GetPrivateProfileString("S", "K", "d", 8, dir_ + "/folder.ini"), "d");
  EXPECT_FALSE(WritePrivateProfileString("S", "K", "v", dir_ + "/folder.ini"));
}

// Damaged lines the parser reads in its own way: a NUL byte is a line break to it, and a line
// starting with '[' but lacking ']' would name a section from there across line breaks. The
// writer must see the same sections and keys, or a write would report success and never be
// read back.
TEST_F(IniProfileTest, WriterAndReaderAgreeOnDamagedLines) {
  struct Case {
    const char* fixture;
    const char* section;
    const char* before;    // value read before the write
    std::string expected;  // the file after the write; empty = not compared
  } cases[] = {
      {"nul_byte_before_section.ini", "Setting", "German",
       std::string("[ModelName]\n105=Indoor Monitor\0[Setting]\nLanguage=English\n", 58)},
      {"unclosed_section_line.ini", "Setting", "German", "[Setting]\n[Lang\nLanguage=English\n"},
      {"lone_bracket_after_bom.ini", "Setting", "German",
       "\xEF\xBB\xBF[\n[Setting]\nLanguage=English\n"},
      {"lone_bracket_at_end.ini", "Other", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fixture);
    std::ifstream in(std::string(IPS_TEST_DATA_DIR) + "/platform/" + c.fixture, std::ios::binary);
    std::stringstream fixture;
    fixture << in.rdbuf();
    ASSERT_FALSE(fixture.str().empty());
    WriteFile(fixture.str());
    EXPECT_EQ(GetPrivateProfileString(c.section, "Language", "", 32, path_), c.before);

    ASSERT_TRUE(WritePrivateProfileString(c.section, "Language", "English", path_));
    EXPECT_EQ(GetPrivateProfileString(c.section, "Language", "", 32, path_), "English");
    if (!c.expected.empty()) {
      EXPECT_EQ(ReadFile(), c.expected);
    }
  }
  // The section in front of the lone '[' (the last file) keeps its key.
  EXPECT_EQ(GetPrivateProfileString("Setting", "AdapterName", "", 32, path_), "eth0");
}

TEST_F(IniProfileTest, SectionKeepsFileOrderDuplicatesAndItsBufferLimit) {
  WriteFile("[ModelName]\n; comment\n12=Zeta\n105 = Alpha \n12=Second\nnoequals\n[Next]\n1=x\n");
  const auto rows = GetPrivateProfileSection("modelname", path_);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], std::make_pair(std::string("12"), std::string("Zeta")));
  EXPECT_EQ(rows[1], std::make_pair(std::string("105"), std::string("Alpha")));
  EXPECT_EQ(rows[2], std::make_pair(std::string("12"), std::string("Second")));

  // "12=Zeta\0" is 8 characters, "105=Alpha\0" 10, plus the final '\0': 19 fit both, 18 only one.
  EXPECT_EQ(GetPrivateProfileSection("ModelName", path_, 19).size(), 2u);
  EXPECT_EQ(GetPrivateProfileSection("ModelName", path_, 18).size(), 1u);
  EXPECT_TRUE(GetPrivateProfileSection("Absent", path_).empty());
  EXPECT_TRUE(GetPrivateProfileSection("ModelName", dir_ + "/absent.ini").empty());
}

}  // namespace
