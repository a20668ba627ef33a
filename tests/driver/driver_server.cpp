// The GUI test driver's entry: loaded into the program with LD_PRELOAD and switched on by
// IPS_GUI_DRIVER=<unix socket path>. Once the application object exists it listens on that
// socket on the UI thread; each connection carries one request line and gets one reply. Socket
// events are not user input, so requests are served inside modal dialogs and inside local
// event loops that exclude user input as well.

#include <QCoreApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QVariant>
#include <cstdlib>
#include <cstring>
#include <string>

#include "command_registry.h"
#include "wire_format.h"

namespace guidriver {

namespace {

// The longest request line the driver reads; longer ones are refused.
constexpr qint64 kMaxRequestBytes = 64 * 1024;

std::string& SocketPath() {
  static std::string path;
  return path;
}

// Child processes (the web server, a restarted program) run without the driver: it leaves the
// environment as the program would have found it without the test.
void StripDriverFromEnvironment() {
  const char* preload = std::getenv("LD_PRELOAD");
  if (preload) {
    std::string kept;
    std::string list = preload;
    size_t start = 0;
    while (start <= list.size()) {
      size_t end = list.find_first_of(": ", start);
      if (end == std::string::npos) end = list.size();
      const std::string entry = list.substr(start, end - start);
      const bool ours = entry.size() >= std::strlen("libips_gui_driver.so") &&
                        entry.find("libips_gui_driver.so") != std::string::npos;
      if (!entry.empty() && !ours) kept += (kept.empty() ? "" : ":") + entry;
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

void Answer(QLocalSocket* socket, const QByteArray& line) {
  QStringList words;
  for (const std::string& word : DecodeRequest(line.toStdString())) {
    words << QString::fromStdString(word);
  }
  Reply reply = RunCommand(words);
  QByteArray out = (reply.ok ? "ok" : "error") +
                   (reply.text.isEmpty() ? QByteArray() : " " + reply.text.toUtf8()) + "\n";
  socket->write(out);
  socket->flush();
  socket->disconnectFromServer();
  if (reply.action) QMetaObject::invokeMethod(qApp, reply.action, Qt::QueuedConnection);
}

void Serve(QLocalSocket* socket) {
  QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
  QObject::connect(socket, &QLocalSocket::readyRead, socket, [socket] {
    if (socket->property("answered").toBool()) return;
    if (!socket->canReadLine()) {
      if (socket->bytesAvailable() > kMaxRequestBytes) {
        socket->setProperty("answered", true);
        socket->write("error request too long\n");
        socket->disconnectFromServer();
      }
      return;
    }
    socket->setProperty("answered", true);
    QByteArray line = socket->readLine(kMaxRequestBytes);
    if (line.endsWith('\n')) line.chop(1);
    Answer(socket, line);
  });
}

void Listen() {
  const QString path = QString::fromStdString(SocketPath());
  auto* server = new QLocalServer(qApp);
  server->setSocketOptions(QLocalServer::UserAccessOption);
  QLocalServer::removeServer(path);  // a socket file left by an earlier run
  if (!server->listen(path)) {
    qWarning("gui driver: cannot listen on %s: %s", qPrintable(path),
             qPrintable(server->errorString()));
    return;
  }
  QObject::connect(server, &QLocalServer::newConnection, server, [server] {
    while (QLocalSocket* socket = server->nextPendingConnection()) Serve(socket);
  });
  qInfo("gui driver: listening on %s", qPrintable(path));
}

}  // namespace

}  // namespace guidriver

// Runs inside the application object's constructor: the server starts from the first event
// loop, when the object is complete.
static void StartGuiDriver() {
  if (guidriver::SocketPath().empty()) return;
  QMetaObject::invokeMethod(qApp, &guidriver::Listen, Qt::QueuedConnection);
}
Q_COREAPP_STARTUP_FUNCTION(StartGuiDriver)
