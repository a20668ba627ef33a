// Where the program writes: the module folder when it may write there, the user's XDG folders
// when the module folder is installed read-only.
#include "platform/user_folders.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "shell/global_utils.h"

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const fs::path& path, const std::string& content) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

// Sets or unsets an environment variable for the test's lifetime.
class ScopedEnv {
public:
  ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      ::setenv(name, value->c_str(), 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

private:
  const char* name_;
  std::optional<std::string> old_;
};

// A temporary root holding a module folder with the shipped config files and a home folder.
class UserFoldersTest : public ::testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/user_folders_test_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    root_ = pattern;
    module_ = root_ + "/module";
    home_.emplace("HOME", root_ + "/home");
    WriteFile(module_ + "/config/ModelName.ini", "[ModelName]\n12=ModelX\n");
    WriteFile(module_ + "/config/SystemSetting.ini", "[LANGUAGE_SETTING]\nLanguage=\n");
    CGlobalUtils::SetModuleDirForTesting(module_);
  }
  void TearDown() override {
    CGlobalUtils::SetModuleDirForTesting("");
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  void MarkInstalled() { WriteFile(module_ + "/" + kReadOnlyModuleMarker, ""); }

  std::string root_;
  std::string module_;
  std::optional<ScopedEnv> home_;
  ScopedEnv config_{"XDG_CONFIG_HOME", std::nullopt};
  ScopedEnv cache_{"XDG_CACHE_HOME", std::nullopt};
};

TEST_F(UserFoldersTest, WritableModuleFolderKeepsEverythingBelowIt) {
  EXPECT_FALSE(CGlobalUtils::UsesUserFolders());
  EXPECT_EQ(CGlobalUtils::SystemSettingPath(), module_ + "/config/SystemSetting.ini");
  EXPECT_EQ(CGlobalUtils::ModelNamePath(), module_ + "/config/ModelName.ini");
  EXPECT_EQ(CGlobalUtils::RomDownloadPath("fw.bin"), module_ + "/Download/Rom/fw.bin");
  EXPECT_FALSE(fs::exists(root_ + "/home"));  // nothing made in the user's folders
}

TEST_F(UserFoldersTest, InstalledModuleWritesToTheUsersFoldersSeededFromTheShippedFiles) {
  MarkInstalled();
  const std::string config = root_ + "/home/.config/ipscanner";
  const std::string cache = root_ + "/home/.cache/ipscanner";
  EXPECT_TRUE(CGlobalUtils::UsesUserFolders());
  EXPECT_EQ(CGlobalUtils::SystemSettingPath(), config + "/SystemSetting.ini");
  EXPECT_EQ(CGlobalUtils::ModelNamePath(), config + "/ModelName.ini");
  EXPECT_EQ(CGlobalUtils::RomDownloadPath(""), cache + "/Download/Rom/");
  EXPECT_TRUE(fs::is_directory(cache + "/Download/Rom"));
  EXPECT_EQ(ReadAll(config + "/ModelName.ini"), "[ModelName]\n12=ModelX\n");
  EXPECT_EQ(CGlobalUtils::LookupModelName("12.3"), "ModelX");
  // The catalog and everything else read-only still comes from the module folder.
  EXPECT_EQ(CGlobalUtils::LanguagePath("English.txt"), module_ + "/Language/English.txt");

  ASSERT_TRUE(CGlobalUtils::WriteLanguageSetting("Deutsch"));
  EXPECT_EQ(CGlobalUtils::ReadLanguageSetting(), "Deutsch");
  EXPECT_EQ(ReadAll(module_ + "/config/SystemSetting.ini"), "[LANGUAGE_SETTING]\nLanguage=\n");
  EXPECT_FALSE(fs::exists(module_ + "/Download"));
}

TEST_F(UserFoldersTest, SeedingKeepsTheUsersOwnFiles) {
  MarkInstalled();
  const std::string config = root_ + "/home/.config/ipscanner";
  WriteFile(config + "/ModelName.ini", "[ModelName]\n12=EditedByUser\n");
  WriteFile(config + "/SystemSetting.ini", "[LANGUAGE_SETTING]\nLanguage=Français\n");
  EXPECT_EQ(CGlobalUtils::LookupModelName("12.3"), "EditedByUser");
  EXPECT_EQ(CGlobalUtils::ReadLanguageSetting(), "Français");
  for (const auto& entry : fs::directory_iterator(config)) {  // no temporary copy left behind
    EXPECT_EQ(entry.path().string().find(".seed-"), std::string::npos) << entry.path();
  }
}

TEST_F(UserFoldersTest, UnwritableUserFolderFallsBackToTheShippedCatalog) {
  MarkInstalled();
  WriteFile(root_ + "/home/.config", "a file where the folder should be");
  EXPECT_EQ(CGlobalUtils::ModelNamePath(), module_ + "/config/ModelName.ini");
  EXPECT_EQ(CGlobalUtils::LookupModelName("12.3"), "ModelX");
  EXPECT_FALSE(CGlobalUtils::WriteLanguageSetting("Deutsch"));  // reported, never a crash
}

TEST_F(UserFoldersTest, XdgVariablesChooseTheFolders) {
  const std::string home = root_ + "/home";
  struct Case {
    std::optional<std::string> configHome, cacheHome;
    std::string config, cache;
  } cases[] = {
      {std::nullopt, std::nullopt, home + "/.config/ipscanner", home + "/.cache/ipscanner"},
      {"/srv/cfg", "/srv/cache/", "/srv/cfg/ipscanner", "/srv/cache/ipscanner"},
      // Empty and relative values are not valid XDG folders: the defaults apply.
      {"", "relative/cache", home + "/.config/ipscanner", home + "/.cache/ipscanner"},
  };
  for (const Case& c : cases) {
    ScopedEnv config("XDG_CONFIG_HOME", c.configHome);
    ScopedEnv cache("XDG_CACHE_HOME", c.cacheHome);
    EXPECT_EQ(UserConfigFolder(), c.config);
    EXPECT_EQ(UserCacheFolder(), c.cache);
  }
  // Without HOME the password database names the home folder.
  ScopedEnv noHome("HOME", std::nullopt);
  EXPECT_EQ(UserConfigFolder().rfind("/.config/ipscanner"),
            UserConfigFolder().size() - std::string("/.config/ipscanner").size());
  EXPECT_EQ(UserConfigFolder()[0], '/');
}

TEST_F(UserFoldersTest, ModuleFolderIsReadOnlyWithTheMarkerOrWithoutWriteAccess) {
  EXPECT_FALSE(IsModuleFolderReadOnly(module_));
  MarkInstalled();
  EXPECT_TRUE(IsModuleFolderReadOnly(module_));
  EXPECT_TRUE(IsModuleFolderReadOnly(root_ + "/absent"));
  EXPECT_FALSE(IsModuleFolderReadOnly(""));
  if (::geteuid() != 0) {  // root writes everywhere; only the marker counts for it
    fs::remove(module_ + "/" + kReadOnlyModuleMarker);
    fs::permissions(module_, fs::perms::owner_write, fs::perm_options::remove);
    EXPECT_TRUE(IsModuleFolderReadOnly(module_));
    fs::permissions(module_, fs::perms::owner_write, fs::perm_options::add);
  }
}

}  // namespace
