// The GUI test driver's entry: loaded into the program with LD_PRELOAD and switched on by
// IPS_GUI_DRIVER=<unix socket path>; without that variable it does nothing. The server starts
// from the program's first event loop, on the UI thread.

#include <QCoreApplication>
#include <cstdlib>
#include <string>

#include "driver_server.h"

namespace {

constexpr const char* kLibraryName = "libips_gui_driver.so";

std::string& SocketPath() {
  static std::string path;
  return path;
}

// Child processes (the web server, a restarted program) run without the driver: the
// environment is left as the program would have found it without the test.
void StripDriverFromEnvironment() {
  if (const char* preload = std::getenv("LD_PRELOAD")) {
    const std::string list = preload;
    std::string kept;
    size_t start = 0;
    while (start <= list.size()) {
      size_t end = list.find_first_of(": ", start);
      if (end == std::string::npos) end = list.size();
      const std::string entry = list.substr(start, end - start);
      if (!entry.empty() && entry.find(kLibraryName) == std::string::npos)
        kept += (kept.empty() ? "" : ":") + entry;
      start = end + 1;
    }
    if (kept.empty())
      unsetenv("LD_PRELOAD");
    else
      setenv("LD_PRELOAD", kept.c_str(), 1);
  }
  unsetenv("IPS_GUI_DRIVER");
}

__attribute__((constructor)) void ReadDriverEnvironment() {
  if (const char* path = std::getenv("IPS_GUI_DRIVER"); path && *path) SocketPath() = path;
  StripDriverFromEnvironment();
}

void Listen() {
  const QString path = QString::fromStdString(SocketPath());
  QString error;
  if (guidriver::StartServer(path, &error)) {
    qInfo("gui driver: listening on %s", qPrintable(path));
  } else {
    qWarning("gui driver: cannot listen on %s: %s", qPrintable(path), qPrintable(error));
  }
}

// Runs inside the application object's constructor, before the object is complete: the server
// starts from the first event loop.
void StartGuiDriver() {
  if (SocketPath().empty()) return;
  QMetaObject::invokeMethod(qApp, &Listen, Qt::QueuedConnection);
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(StartGuiDriver)
