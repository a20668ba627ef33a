#pragma once

#include <string>

// The download folder our web server serves to devices (CGlobalUtils::RomDownloadPath).

// Copies `source` into the download folder under its own file name, replacing a file of the same
// name. Returns that name, or "" when the copy failed (*error says why).
std::string StoreUpgradeImage(const std::string& source, std::string* error);

// Removes an image copied by StoreUpgradeImage; a missing file is not an error.
void RemoveUpgradeImage(const std::string& imageName);
