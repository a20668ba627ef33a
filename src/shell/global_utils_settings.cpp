// SystemSetting.ini, the model catalog and the version text.
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <mutex>
#include <unordered_map>

#include "platform/file_version.h"
#include "platform/ini_profile.h"
#include "shell/global_utils.h"
#include "shell/log.h"

namespace {

constexpr const char* kModelNameSection = "ModelName";
constexpr int kLanguageChars = 32;    // 31 characters and the terminator
constexpr int kModelNameChars = 128;  // 127 characters
constexpr int kModelSectionChars = 10240;

std::string TrimBlanks(const std::string& text) {
  const char* blanks = " \t\r\n\v\f";
  const size_t begin = text.find_first_not_of(blanks);
  if (begin == std::string::npos) return std::string();
  const size_t end = text.find_last_not_of(blanks);
  return text.substr(begin, end - begin + 1);
}

// The catalog's answers, kept while the file stays the same (same path, size and modification
// time): every discovery answer without a model asks, and reading the file each time cost more
// than the rest of the answer. Prefixes come from devices, so the memo is bounded.
// Where the catalog is (user folder or module folder) is worked out again once a second or when
// the module folder changes: that takes several file system calls, and the folders do not
// change while devices answer.
class CModelNameMemo {
public:
  // checkedWithin: how old the last look at the file may be for its answers to count (zero:
  // look now).
  std::string Lookup(const std::string& prefix, std::chrono::microseconds checkedWithin) {
    const std::string path = Path();
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard<std::mutex> lock(lock_);
    if (path != path_ || now - checkedAt_ >= checkedWithin) {
      checkedAt_ = now;
      struct stat info {};
      const bool exists = ::stat(path.c_str(), &info) == 0;
      const int64_t size = exists ? static_cast<int64_t>(info.st_size) : -1;
      const int64_t mtime =
          exists ? static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec
                 : -1;
      if (path != path_ || size != size_ || mtime != mtime_) {
        names_.clear();
        path_ = path;
        size_ = size;
        mtime_ = mtime;
      }
    }
    if (names_.size() >= kMaxPrefixes) names_.clear();
    const auto known = names_.find(prefix);
    if (known != names_.end()) return known->second;
    std::string name =
        GetPrivateProfileString(kModelNameSection, prefix, "", kModelNameChars, path);
    names_.emplace(prefix, name);
    return name;
  }

private:
  std::string Path() {
    const auto now = std::chrono::steady_clock::now();
    std::string module = CGlobalUtils::GetModuleDir();
    std::lock_guard<std::mutex> lock(lock_);
    if (resolvedPath_.empty() || module != module_ ||
        now - resolvedAt_ >= std::chrono::seconds(1)) {
      resolvedPath_ = CGlobalUtils::ModelNamePath();
      module_ = std::move(module);
      resolvedAt_ = now;
    }
    return resolvedPath_;
  }

  static constexpr size_t kMaxPrefixes = 4096;
  std::mutex lock_;
  std::string resolvedPath_;
  std::string module_;  // the module folder the path was worked out for
  std::chrono::steady_clock::time_point resolvedAt_;
  std::string path_;
  int64_t size_ = -2;
  int64_t mtime_ = -2;
  std::chrono::steady_clock::time_point checkedAt_;
  std::unordered_map<std::string, std::string> names_;
};

}  // namespace

std::string CGlobalUtils::ReadLanguageSetting() {
  const std::string language = GetPrivateProfileString(kLanguageSection, kLanguageKey, "",
                                                       kLanguageChars, SystemSettingPath());
  // The value names a catalog file in Language/; a path would load a file from elsewhere.
  if (language.find('/') != std::string::npos || language.find('\\') != std::string::npos ||
      language.find("..") != std::string::npos) {
    LogError("%s: Language \"%s\" is not a catalog name, English used.",
             "CGlobalUtils::ReadLanguageSetting", language.c_str());
    return "English";
  }
  return language;
}

bool CGlobalUtils::WriteLanguageSetting(const std::string& language) {
  const std::string path = SystemSettingPath();
  if (WritePrivateProfileString(kLanguageSection, kLanguageKey, language, path)) return true;
  LogError("%s: writing %s failed.", "CGlobalUtils::WriteLanguageSetting", path.c_str());
  return false;
}

namespace {

CModelNameMemo* ModelNameMemo() {
  static CModelNameMemo* memo = new CModelNameMemo();
  return memo;
}

std::string PrefixOf(const std::string& firmware) {
  const size_t dot = firmware.find('.');
  return dot == std::string::npos ? std::string() : firmware.substr(0, dot);
}

// Discovery answers come by the thousand a second, and each one without a model asks: a look
// at the file (a stat walks its whole path) once a millisecond is soon enough for them.
constexpr std::chrono::microseconds kAnswerCatalogCheck{1000};

}  // namespace

std::string CGlobalUtils::LookupModelName(const std::string& firmware) {
  const std::string prefix = PrefixOf(firmware);
  if (prefix.empty()) return std::string();
  return ModelNameMemo()->Lookup(prefix, std::chrono::microseconds(0));
}

std::string CGlobalUtils::DeviceModelName(const std::string& model, const std::string& firmware) {
  if (!model.empty()) return model;
  const std::string prefix = PrefixOf(firmware);
  if (prefix.empty()) return std::string();
  return ModelNameMemo()->Lookup(prefix, kAnswerCatalogCheck);
}

std::map<std::string, std::string> CGlobalUtils::ReadModelNameMap() {
  // Each line must split at '=' into exactly two non-empty parts; the map goes from model name
  // to prefix, and a model name listed twice keeps its later prefix.
  std::map<std::string, std::string> result;
  const std::string path = ModelNamePath();
  if (!FileExists(path)) {
    LogError("%s: model catalog %s is missing.", "CGlobalUtils::ReadModelNameMap", path.c_str());
    return result;
  }
  for (const auto& [key, value] :
       GetPrivateProfileSection(kModelNameSection, path, kModelSectionChars)) {
    if (value.find('=') != std::string::npos) continue;
    const std::string prefix = TrimBlanks(key);
    const std::string name = TrimBlanks(value);
    if (prefix.empty() || name.empty()) continue;
    result[name] = prefix;
  }
  return result;
}

bool CGlobalUtils::CheckModelCatalog(std::string* problem) {
  const std::string path = ModelNamePath();
  std::string reason;
  if (!FileExists(path)) {
    reason = "is missing";
  } else if (std::FILE* file = std::fopen(path.c_str(), "rbe"); file == nullptr) {
    reason = "cannot be read";
  } else {
    std::fclose(file);
    if (GetPrivateProfileSection(kModelNameSection, path, kModelSectionChars).empty())
      reason = "holds no [ModelName] entry";
  }
  if (reason.empty()) return true;
  LogError("%s: model catalog %s %s; devices that report no model are listed without one.",
           "CGlobalUtils::CheckModelCatalog", path.c_str(), reason.c_str());
  if (problem != nullptr) *problem = reason;
  return false;
}

std::string CGlobalUtils::GetFileVersionText() { return GetCompiledVersionText(); }

std::string CGlobalUtils::ReadNetConnSetting(const std::string& key, int maxChars) {
  return GetPrivateProfileString(kNetConnSection, key, "", maxChars, SystemSettingPath());
}

bool CGlobalUtils::WriteNetConnSetting(const std::string& key, const std::string& value) {
  const std::string path = SystemSettingPath();
  if (WritePrivateProfileString(kNetConnSection, key, value, path)) return true;
  LogError("%s: writing %s of %s failed.", "CGlobalUtils::WriteNetConnSetting", key.c_str(),
           path.c_str());
  return false;
}

std::string CGlobalUtils::ReadInterfaceSetting() { return ReadNetConnSetting(kInterfaceKey, 128); }

std::string CGlobalUtils::ReadAdapterNameSetting() {
  return ReadNetConnSetting(kAdapterNameKey, 520);
}

std::string CGlobalUtils::ReadIpSetting(int maxChars) {
  return ReadNetConnSetting(kIpKey, maxChars);
}

std::vector<std::string> CGlobalUtils::SplitIpSetting(const std::string& joined) {
  std::vector<std::string> addresses;
  const std::string separator = kIpSeparator;
  size_t start = 0;
  while (start <= joined.size()) {
    size_t end = joined.find(separator, start);
    if (end == std::string::npos) end = joined.size();
    const std::string part = TrimBlanks(joined.substr(start, end - start));
    if (!part.empty()) addresses.push_back(part);
    start = end + separator.size();
  }
  return addresses;
}

std::string CGlobalUtils::JoinIpSetting(const std::vector<std::string>& addresses) {
  std::string joined;
  for (size_t i = 0; i < addresses.size(); ++i) {
    if (i > 0) joined += kIpSeparator;
    joined += addresses[i];
  }
  return joined;
}
