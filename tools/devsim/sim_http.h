#pragma once

#include <cstdint>
#include <string>

// The firmware download of a simulated device: a plain HTTP/1.0 GET over a socket.

struct SimUrl {
  std::string host;   // dotted IPv4
  uint16_t port = 80;
  std::string path;   // starts with '/'
};

// "http://<IPv4>[:port]/path". False for other schemes, host names or malformed text.
bool ParseHttpUrl(const std::string& url, SimUrl* out);

// Downloads are allowed only from loopback (127.0.0.0/8) and the virtual segment's range
// (10.213.0.0/16): the simulator never reaches out anywhere else.
bool IsAllowedDownloadHost(const std::string& host);

// GETs the URL; true for status 200 with a non-empty body, whose size goes to *bytes.
// Gives up after timeoutMs without progress. *error says why it failed.
bool HttpDownload(const std::string& url, int timeoutMs, size_t* bytes, std::string* error);
