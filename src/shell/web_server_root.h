#pragma once

#include <string>

// The folder that holds everything our web server touches: Download/Rom/ (what devices fetch)
// and Tools/nginx/ (the server's prefix: logs/, temp/, and under root its configuration).
//
// Normally that is CGlobalUtils::DataDir(). A process running as root starts the server as an
// unprivileged account instead, which may not read the data folder (a home folder below /root is
// 0700); while it holds a private run-time folder for the server (webserver/web_server_folder.h),
// that folder is the answer. Every path to the download folder, the server's prefix and its
// access log is taken from here. Kept here, below the web server's own files, so that the
// settings' paths (CGlobalUtils::RomDownloadPath) need nothing from above.
std::string WebServerFolder();

// Set by the holder of the private folder while it exists; "" returns to the data folder.
void SetWebServerPrivateFolder(const std::string& folder);
