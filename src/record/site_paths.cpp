#include "record/site_paths.h"

#include <algorithm>
#include <filesystem>

#include "platform/ini_profile.h"
#include "platform/user_folders.h"
#include "shell/global_utils.h"
#include "shell/log.h"

namespace {

constexpr const char* kSiteSection = "SITE_SETTING";
constexpr const char* kSiteKey = "SiteName";
constexpr size_t kMaxSiteNameChars = 64;

}  // namespace

bool IsValidSiteName(const std::string& name) {
  if (name.empty() || name.size() > kMaxSiteNameChars || name.front() == '.') return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '_' || c == '-';
  });
}

std::string SiteFolder() {
  const std::string module = CGlobalUtils::GetModuleDir();
  if (IsModuleFolderReadOnly(module)) {
    const std::string data = UserDataFolder();
    if (!data.empty()) return data + "/sites";
  }
  return module + "/sites";
}

std::string SiteDatabasePath(const std::string& name) {
  return SiteFolder() + "/" + name + kSiteFileSuffix;
}

std::vector<std::string> ListSiteNames() {
  namespace fs = std::filesystem;
  std::vector<std::string> names;
  std::error_code ec;
  const std::string suffix = kSiteFileSuffix;
  for (fs::directory_iterator it(SiteFolder(), ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code typeError;
    if (!it->is_regular_file(typeError)) continue;
    const std::string file = it->path().filename().string();
    if (file.size() <= suffix.size() ||
        file.compare(file.size() - suffix.size(), suffix.size(), suffix) != 0)
      continue;
    const std::string name = file.substr(0, file.size() - suffix.size());
    if (IsValidSiteName(name)) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadSiteSetting() {
  const std::string name = GetPrivateProfileString(kSiteSection, kSiteKey, kDefaultSiteName,
                                                   static_cast<int>(kMaxSiteNameChars) + 1,
                                                   CGlobalUtils::SystemSettingPath());
  if (name.empty()) return kDefaultSiteName;
  if (!IsValidSiteName(name)) {
    LogError("%s: SiteName \"%s\" is not a valid site name, \"%s\" used.", "ReadSiteSetting",
             name.c_str(), kDefaultSiteName);
    return kDefaultSiteName;
  }
  return name;
}

bool WriteSiteSetting(const std::string& name) {
  if (!IsValidSiteName(name)) return false;
  return WritePrivateProfileString(kSiteSection, kSiteKey, name, CGlobalUtils::SystemSettingPath());
}
