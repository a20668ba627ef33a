#include "core/upgrade/upgrade_image_store.h"

#include <filesystem>
#include <system_error>

#include "shell/global_utils.h"

namespace fs = std::filesystem;

std::string StoreUpgradeImage(const std::string& source, std::string* error) {
  const std::string name = fs::path(source).filename().string();
  std::error_code ec;
  if (name.empty() || !fs::is_regular_file(source, ec)) {
    if (error) *error = source + ": not a file";
    return {};
  }
  const fs::path target = CGlobalUtils::RomDownloadPath(name);
  fs::create_directories(target.parent_path(), ec);
  // Same file (chosen from the download folder itself): nothing to copy.
  if (fs::exists(target, ec) && fs::equivalent(source, target, ec)) return name;
  // Written aside and renamed, so a device fetching the old copy never gets half of the new one.
  // The copy in progress lives beside the served folder, not in it: nothing half-written (and no
  // dot file) is ever there to be fetched. Same file system, so the rename is atomic.
  const fs::path temporary = target.parent_path().parent_path() / ("." + name + ".part");
  if (!fs::copy_file(source, temporary, fs::copy_options::overwrite_existing, ec)) {
    if (error) *error = target.string() + ": " + ec.message();
    fs::remove(temporary, ec);
    return {};
  }
  // The web server may run as another user (when we are root): it must be able to read it.
  fs::permissions(temporary,
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                      fs::perms::others_read,
                  ec);
  if (!ec) fs::rename(temporary, target, ec);
  if (ec) {
    if (error) *error = target.string() + ": " + ec.message();
    fs::remove(temporary, ec);
    return {};
  }
  return name;
}

void RemoveUpgradeImage(const std::string& imageName) {
  if (imageName.empty()) return;
  std::error_code ec;
  fs::remove(CGlobalUtils::RomDownloadPath(imageName), ec);
}
