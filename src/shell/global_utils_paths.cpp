// Paths below the module folder and the download folder.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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
