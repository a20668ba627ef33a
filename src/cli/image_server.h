#pragma once

#include <string>

#include "webserver/nginx_server.h"

// Serves one firmware image to devices for the length of a command: starts our web server
// child, copies the image into the download folder and checks that the server hands it out
// whole. The destructor removes the copy and ends the server.
class CImageServer {
public:
  CImageServer() = default;
  ~CImageServer();
  CImageServer(const CImageServer&) = delete;
  CImageServer& operator=(const CImageServer&) = delete;

  // The image's file name in the download folder, or "" with *error set.
  std::string Serve(const std::string& imagePath, std::string* error);

private:
  CNginxServer m_server;
  std::string m_imageName;
};
