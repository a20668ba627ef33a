// Paths below the module folder, and the folders the program writes to.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <set>

#include "platform/module_dir.h"
#include "platform/user_folders.h"
#include "shell/global_utils.h"
#include "shell/web_server_root.h"

namespace {

constexpr const char* kSystemSettingFile = "SystemSetting.ini";
constexpr const char* kModelNameFile = "ModelName.ini";

struct WriteFolders {
  std::string config;  // SystemSetting.ini and the model catalog
  std::string data;    // Download/Rom/ and the web server's Tools/nginx/ run-time folder
  bool user = false;   // the user's folders, not the module folder
};

// First use of the user's folders: create them and copy the shipped settings and model catalog
// into them (once per process and set of folders; a copy the user already has is kept).
void SeedUserFolders(const std::string& module, const WriteFolders& folders) {
  static std::mutex mutex;
  static std::set<std::string> seeded;
  std::lock_guard<std::mutex> lock(mutex);
  if (!seeded.insert(module + "\n" + folders.config + "\n" + folders.data).second) return;
  if (MakeFolders(folders.config)) {
    for (const char* file : {kSystemSettingFile, kModelNameFile}) {
      const std::string shipped = module + "/config/" + file;
      if (CGlobalUtils::FileExists(shipped)) SeedFile(shipped, folders.config + "/" + file);
    }
  }
  MakeFolders(folders.data + "/Download/Rom");
}

WriteFolders ResolveWriteFolders() {
  const std::string module = CGlobalUtils::GetModuleDir();
  if (IsModuleFolderReadOnly(module)) {
    WriteFolders folders{UserConfigFolder(), UserCacheFolder(), true};
    if (!folders.config.empty() && !folders.data.empty()) {
      SeedUserFolders(module, folders);
      return folders;
    }
    // No home folder at all: writes below the module folder fail and are reported as such.
  }
  return WriteFolders{module + "/config", module, false};
}

}  // namespace

std::string CGlobalUtils::GetModuleDir() { return GetModuleFolder(); }

void CGlobalUtils::SetModuleDirForTesting(const std::string& folder) {
  SetModuleFolderOverride(folder);
}

std::string CGlobalUtils::MakeModulePath(const std::string& relative) {
  return GetModuleDir() + "/" + relative;
}

std::string CGlobalUtils::ConfigDir() { return ResolveWriteFolders().config; }

std::string CGlobalUtils::DataDir() { return ResolveWriteFolders().data; }

bool CGlobalUtils::UsesUserFolders() { return ResolveWriteFolders().user; }

std::string CGlobalUtils::RomDownloadPath(const std::string& fileName) {
  return WebServerFolder() + "/Download/Rom/" + fileName;
}

std::string CGlobalUtils::LanguagePath(const std::string& languageFile) {
  if (languageFile.empty()) return GetModuleDir() + "/Language";
  return GetModuleDir() + "/Language/" + languageFile;
}

std::vector<std::string> CGlobalUtils::ListLanguageFiles() {
  namespace fs = std::filesystem;
  std::vector<std::string> files;
  std::error_code ec;
  for (fs::directory_iterator it(LanguagePath(""), ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code typeError;
    if (!it->is_regular_file(typeError)) continue;
    const std::string name = it->path().filename().string();
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".txt") == 0) files.push_back(name);
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string CGlobalUtils::LanguageNameOf(const std::string& catalogFile) {
  return catalogFile.substr(0, catalogFile.find('.'));
}

std::string CGlobalUtils::LanguageCatalogPath(const std::string& language) {
  const std::string exact = LanguagePath(language + ".txt");
  if (language.empty() || FileExists(exact)) return exact;
  // The settings list "Chinese.Simplified.txt" as Chinese and store that name: find the file.
  for (const std::string& file : ListLanguageFiles()) {
    if (LanguageNameOf(file) == language) return LanguagePath(file);
  }
  return exact;
}

std::string CGlobalUtils::SystemSettingPath() {
  return ResolveWriteFolders().config + "/" + kSystemSettingFile;
}

std::string CGlobalUtils::ModelNamePath() {
  // The user's copy once seeded; the shipped catalog while there is none (seeding failed).
  const WriteFolders folders = ResolveWriteFolders();
  const std::string own = folders.config + "/" + kModelNameFile;
  if (!folders.user || FileExists(own)) return own;
  return MakeModulePath(std::string("config/") + kModelNameFile);
}

bool CGlobalUtils::FileExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

void CGlobalUtils::ClearRomDownloadFolder(const std::string& folder) {
  if (folder.empty()) return;
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  if (ec) return;
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) break;
    // Sub-folders stay with their content; a link is removed itself, never what it points to.
    std::error_code statusError;
    const fs::file_status status = it->symlink_status(statusError);
    if (statusError || fs::is_directory(status)) continue;
    ::unlink(it->path().c_str());  // a file still in use by the web server just stays
  }
}
