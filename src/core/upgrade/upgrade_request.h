#pragma once

#include <string>

#include "core/common/device_entry.h"
#include "protocol/request_records.h"

// The pieces of a firmware upgrade request: which version an image carries, where devices fetch
// it, and where the request goes.

// The version an image carries in its name: the file name (after the last '\' or '/') without its
// last extension; "" when the name has no '.'. "29.30.1.2.rom" -> "29.30.1.2".
std::string ImageVersion(const std::string& imageName);

// The address at which devices reach our web server: the first address of the IP setting
// (addresses joined with U+3001), else the first adapter's first address, else the host name's
// address.
std::string GetUpgradeHost();

// The address devices fetch the image from: our web server's download folder and the file name
// percent-encoded (every byte but letters, digits, '-', '.', '_' and '~'), so that a space, '#',
// '?', '<' or '&' in the name reaches the server as part of the name.
std::string UpgradeImageUrl(const std::string& host, const std::string& imageName);

// The request's address field holds this many characters.
inline constexpr size_t kMaxUpgradeUrlChars = 127;

// Whether the image's address fits the request's field; a front end refuses the upgrade before
// anything is sent when it does not.
bool UpgradeUrlFits(const std::string& host, const std::string& imageName);

// The UpgradeSend request for an image on our web server. A text goes into its field only when
// it is shorter than the field (16 characters for the version, 128 for the address); a longer one
// leaves the field empty rather than offering a cut-off version or address.
UPGRADE_SEND_T MakeUpgradeRequest(const std::string& host, const std::string& imageName);

// The MAC text the request is addressed to: the work MAC when the device has one, else its MAC.
const std::string& UpgradeDestinationMac(const DEVICE_ENTRY_T& device);

// Builds the request for the device (its MAC as the key), addresses it and sends it. false when
// the image's address does not fit its field, the request cannot be built ("%s:Building
// UpgradeSendMsg failed." in the log) or not sent.
bool SendUpgradeMsg(const DEVICE_ENTRY_T& device, const std::string& host,
                    const std::string& imageName);
