#pragma once

#include <string>
#include <vector>

// Where the site databases live: "sites/" below the module folder when the program may write
// there (run from build/bin), otherwise $XDG_DATA_HOME/ipscanner/sites (installed). One file per
// site: <folder>/<name>.sqlite.

inline constexpr const char* kDefaultSiteName = "default";
inline constexpr const char* kSiteFileSuffix = ".sqlite";

// A site name becomes a file name: 1 to 64 letters, digits, '.', '_' or '-', not starting with
// '.' (no path, no hidden file).
bool IsValidSiteName(const std::string& name);

// The folder of the site databases (not created here).
std::string SiteFolder();
// <SiteFolder>/<name>.sqlite
std::string SiteDatabasePath(const std::string& name);
// The names of the site files present in SiteFolder, sorted.
std::vector<std::string> ListSiteNames();

// [SITE_SETTING] SiteName of SystemSetting.ini; kDefaultSiteName when absent or not a valid name.
std::string ReadSiteSetting();
bool WriteSiteSetting(const std::string& name);
