#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "shell/global_utils.h"
#include "version.h"

namespace fs = std::filesystem;

namespace {

// Every path of CGlobalUtils below a fresh temporary module folder.
class ModuleFolderTest : public ::testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/global_utils_test_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    CGlobalUtils::SetModuleDirForTesting(dir_);
  }
  void TearDown() override {
    CGlobalUtils::SetModuleDirForTesting("");
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  void Write(const std::string& relative, const std::string& content) {
    const fs::path path = fs::path(dir_) / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
  }
  std::string dir_;
};

TEST_F(ModuleFolderTest, PathsBelowTheModuleFolder) {
  EXPECT_EQ(CGlobalUtils::GetModuleDir(), dir_);
  EXPECT_EQ(CGlobalUtils::LanguagePath(""), dir_ + "/Language");
  EXPECT_EQ(CGlobalUtils::LanguagePath("English.txt"), dir_ + "/Language/English.txt");
  EXPECT_EQ(CGlobalUtils::RomDownloadPath(""), dir_ + "/Download/Rom/");
  EXPECT_EQ(CGlobalUtils::RomDownloadPath("fw.bin"), dir_ + "/Download/Rom/fw.bin");
  EXPECT_EQ(CGlobalUtils::SystemSettingPath(), dir_ + "/config/SystemSetting.ini");
  EXPECT_EQ(CGlobalUtils::ModelNamePath(), dir_ + "/config/ModelName.ini");
  EXPECT_EQ(CGlobalUtils::MakeModulePath("Tools/nginx"), dir_ + "/Tools/nginx");
  EXPECT_TRUE(CGlobalUtils::FileExists(dir_));
  EXPECT_FALSE(CGlobalUtils::FileExists(dir_ + "/absent"));
  EXPECT_FALSE(CGlobalUtils::FileExists(""));
}

TEST(GlobalUtilsModuleDir, IsTheFolderOfTheExecutable) {
  char path[4096];
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof(path) - 1);
  ASSERT_GT(length, 0);
  const std::string exe(path, static_cast<size_t>(length));
  EXPECT_EQ(CGlobalUtils::GetModuleDir(), exe.substr(0, exe.rfind('/')));
}

TEST_F(ModuleFolderTest, ClearRomDownloadFolderDeletesFilesOnlyDirectlyInIt) {
  Write("Download/Rom/a.bin", "a");
  Write("Download/Rom/b.img", "b");
  Write("Download/Rom/sub/kept.bin", "k");
  Write("outside.bin", "o");
  fs::create_symlink(dir_ + "/outside.bin", dir_ + "/Download/Rom/link.bin");
  CGlobalUtils::ClearRomDownloadFolder(CGlobalUtils::RomDownloadPath(""));

  std::vector<std::string> left;
  for (const auto& entry : fs::recursive_directory_iterator(dir_ + "/Download/Rom")) {
    left.push_back(fs::relative(entry.path(), dir_ + "/Download/Rom").string());
  }
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"sub", "sub/kept.bin"}));
  EXPECT_TRUE(fs::exists(dir_ + "/outside.bin"));  // a link goes, its target stays

  CGlobalUtils::ClearRomDownloadFolder(dir_ + "/absent");  // nothing to do, no failure
}

// The value names a catalog in Language/; anything that reaches out of it is refused.
TEST_F(ModuleFolderTest, LanguageSettingThatIsAPathFallsBackToEnglish) {
  for (const char* value : {"../../etc/passwd", "/tmp/x", "sub/English", "..", "Deutsch\\..\\x"}) {
    ASSERT_TRUE(CGlobalUtils::WriteLanguageSetting(value));
    EXPECT_EQ(CGlobalUtils::ReadLanguageSetting(), "English") << value;
  }
  ASSERT_TRUE(
      CGlobalUtils::WriteLanguageSetting("Fran\xc3\xa7"
                                         "ais"));
  EXPECT_EQ(CGlobalUtils::ReadLanguageSetting(),
            "Fran\xc3\xa7"
            "ais");
}

TEST_F(ModuleFolderTest, ModelCatalogProblemsAreNamed) {
  std::string problem;
  EXPECT_FALSE(CGlobalUtils::CheckModelCatalog(&problem));
  EXPECT_EQ(problem, "is missing");
  Write("config/ModelName.ini", std::string("\x00\xff\xfe garbage\n", 13));
  EXPECT_FALSE(CGlobalUtils::CheckModelCatalog(&problem));
  EXPECT_EQ(problem, "holds no [ModelName] entry");
  Write("config/ModelName.ini", "[ModelName]\n12=ModelX\n");
  problem.clear();
  EXPECT_TRUE(CGlobalUtils::CheckModelCatalog(&problem));
  EXPECT_EQ(problem, "");
}

TEST_F(ModuleFolderTest, LanguageSetting) {
  EXPECT_EQ(CGlobalUtils::ReadLanguageSetting(), "");  // no settings file at all
  ASSERT_TRUE(CGlobalUtils::WriteLanguageSetting("German"));
  EXPECT_EQ(CGlobalUtils::ReadLanguageSetting(), "German");
  ASSERT_TRUE(CGlobalUtils::WriteLanguageSetting(std::string(40, 'L')));
  EXPECT_EQ(CGlobalUtils::ReadLanguageSetting(), std::string(31, 'L'));
}

TEST_F(ModuleFolderTest, LanguageCatalogsAreFoundByTheirName) {
  Write("Language/English.txt", "");
  Write("Language/Chinese.Simplified.txt", "");
  Write("Language/README.md", "");
  Write("Language/Deutsch.txt", "");
  const std::vector<std::string> files = CGlobalUtils::ListLanguageFiles();
  EXPECT_EQ(files,
            (std::vector<std::string>{"Chinese.Simplified.txt", "Deutsch.txt", "English.txt"}));
  EXPECT_EQ(CGlobalUtils::LanguageNameOf("Chinese.Simplified.txt"), "Chinese");
  // "Chinese" has no Chinese.txt: the catalog listed under that name is loaded.
  EXPECT_EQ(CGlobalUtils::LanguageCatalogPath("Chinese"),
            dir_ + "/Language/Chinese.Simplified.txt");
  EXPECT_EQ(CGlobalUtils::LanguageCatalogPath("Deutsch"), dir_ + "/Language/Deutsch.txt");
  EXPECT_EQ(CGlobalUtils::LanguageCatalogPath("Klingon"), dir_ + "/Language/Klingon.txt");
}

TEST_F(ModuleFolderTest, NetConnSettingsAndTheirLimits) {
  EXPECT_EQ(CGlobalUtils::ReadInterfaceSetting(), "");
  EXPECT_EQ(CGlobalUtils::ReadAdapterNameSetting(), "");
  EXPECT_EQ(CGlobalUtils::ReadIpSetting(), "");

  const std::vector<std::string> addresses = {"192.168.1.10", "10.0.0.2", "172.16.0.1"};
  const std::string joined = CGlobalUtils::JoinIpSetting(addresses);
  EXPECT_EQ(joined,
            "192.168.1.10\xE3\x80\x81"
            "10.0.0.2\xE3\x80\x81"
            "172.16.0.1");
  ASSERT_TRUE(CGlobalUtils::WriteNetConnSetting(CGlobalUtils::kIpKey, joined));
  ASSERT_TRUE(
      CGlobalUtils::WriteNetConnSetting(CGlobalUtils::kInterfaceKey, std::string(200, 'i')));
  ASSERT_TRUE(
      CGlobalUtils::WriteNetConnSetting(CGlobalUtils::kAdapterNameKey, std::string(600, 'a')));
  EXPECT_EQ(CGlobalUtils::ReadInterfaceSetting(), std::string(127, 'i'));
  EXPECT_EQ(CGlobalUtils::ReadAdapterNameSetting(), std::string(519, 'a'));
  EXPECT_EQ(CGlobalUtils::SplitIpSetting(CGlobalUtils::ReadIpSetting()), addresses);
  EXPECT_EQ(CGlobalUtils::ReadIpSetting(13), "192.168.1.10");  // the upgrade window's first address
  EXPECT_TRUE(CGlobalUtils::SplitIpSetting("").empty());
  EXPECT_EQ(CGlobalUtils::SplitIpSetting("0.0.0.0"), std::vector<std::string>{"0.0.0.0"});
}

TEST_F(ModuleFolderTest, ModelNameLookup) {
  Write("config/ModelName.ini", "[ModelName]\n12=ModelX\n105=IM-700 Indoor Monitor\n");
  struct Case {
    const char* model;
    const char* firmware;
    const char* expected;
  } cases[] = {
      {"", "12.30.10.5", "ModelX"},
      {"", "105.30.1.2", "IM-700 Indoor Monitor"},
      {"Reported", "105.30.1.2", "Reported"},
      {"", ".30", ""},
      {"", "abc", ""},
      {"", "77.1.1.1", ""},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CGlobalUtils::DeviceModelName(c.model, c.firmware), c.expected) << c.firmware;
  }
  Write("config/ModelName.ini", "[ModelName]\n12=" + std::string(200, 'M') + "\n");
  EXPECT_EQ(CGlobalUtils::LookupModelName("12.1"), std::string(127, 'M'));
  fs::remove(dir_ + "/config/ModelName.ini");
  EXPECT_EQ(CGlobalUtils::LookupModelName("12.1"), "");
  EXPECT_TRUE(CGlobalUtils::ReadModelNameMap().empty());
}

TEST_F(ModuleFolderTest, ModelNameMapFromTheWholeSection) {
  Write("config/ModelName.ini",
        "; catalog\n"
        "[ModelName]\n"
        "12=ModelX\n"
        "13==TwoEquals\n"
        "14=A=B\n"
        "=NoPrefix\n"
        "15=\n"
        "  16  =  Spaced Name  \n"
        "17=ModelX\n"
        "just text\n"
        "[Other]\n"
        "18=OtherSection\n");
  const std::map<std::string, std::string> expected = {{"ModelX", "17"}, {"Spaced Name", "16"}};
  EXPECT_EQ(CGlobalUtils::ReadModelNameMap(), expected);
}

TEST_F(ModuleFolderTest, ModelNameMapReadsAtMost10240Characters) {
  // 1000 lines of "1000=Model 1000\0" (16 characters each) overflow the 10240-character buffer:
  // only the lines that fit whole are read.
  std::string content = "[ModelName]\n";
  for (int i = 1000; i < 2000; ++i)
    content += std::to_string(i) + "=Model " + std::to_string(i) + "\n";
  Write("config/ModelName.ini", content);
  const auto map = CGlobalUtils::ReadModelNameMap();
  EXPECT_EQ(map.size(), 639u);  // 639 * 16 + 1 <= 10240 < 640 * 16 + 1
  EXPECT_EQ(map.count("Model 1638"), 1u);
  EXPECT_EQ(map.count("Model 1639"), 0u);
}

TEST_F(ModuleFolderTest, ShippedCatalogHasTheKnownPrefixes) {
  fs::create_directories(dir_ + "/config");
  fs::copy_file(std::string(IPS_SOURCE_DIR) + "/config/ModelName.ini",
                dir_ + "/config/ModelName.ini");
  EXPECT_FALSE(CGlobalUtils::LookupModelName("29.1.0.0").empty());
  EXPECT_FALSE(CGlobalUtils::LookupModelName("105.1.0.0").empty());
  const auto map = CGlobalUtils::ReadModelNameMap();
  EXPECT_GE(map.size(), 2u);
  for (const auto& [name, prefix] : map) {
    EXPECT_EQ(CGlobalUtils::LookupModelName(prefix + ".0"), name);
  }
}

TEST(GlobalUtilsVersion, TextIsTheCompiledVersion) {
  const std::string expected =
      std::to_string(IPS_VERSION_MAJOR + 0) + "." + std::to_string(IPS_VERSION_MINOR + 0) + "." +
      std::to_string(IPS_VERSION_PATCH + 0) + "." + std::to_string(IPS_VERSION_TWEAK + 0);
  EXPECT_EQ(CGlobalUtils::GetFileVersionText(), expected);
}

}  // namespace
