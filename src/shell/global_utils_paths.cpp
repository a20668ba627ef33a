// Paths below the module folder and the download folder.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/module_dir.h"
#include "shell/global_utils.h"

std::string CGlobalUtils::GetModuleDir() { return GetModuleFolder(); }

void CGlobalUtils::SetModuleDirForTesting(const std::string& folder) {
  SetModuleFolderOverride(folder);
}

std::string CGlobalUtils::MakeModulePath(const std::string& relative) {
  return GetModuleDir() + "/" + relative;
}

std::string CGlobalUtils::RomDownloadPath(const std::string& fileName) {
  return GetModuleDir() + "/Download/Rom/" + fileName;
}

std::string CGlobalUtils::LanguagePath(const std::string& languageFile) {
  if (languageFile.empty()) return GetModuleDir() + "/Language";
  return GetModuleDir() + "/Language/" + languageFile;
}

std::string CGlobalUtils::SystemSettingPath() { return MakeModulePath("config/SystemSetting.ini"); }

std::string CGlobalUtils::ModelNamePath() { return MakeModulePath("config/ModelName.ini"); }

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
