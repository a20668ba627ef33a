#include "ui/framework/instance_beacon.h"

#include <unistd.h>

#include <QApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QWidget>
#include <cstdio>

#include "platform/child_process.h"
#include "shell/log.h"
#include "shell/single_instance.h"

namespace {

QPointer<QLocalServer>& Server() {
  static QPointer<QLocalServer> server;
  return server;
}

QPointer<QWidget>& MainWindow() {
  static QPointer<QWidget> window;
  return window;
}

void Answer(QLocalSocket* socket) {
  if (!socket->canReadLine()) return;
  const QByteArray request = socket->readLine().trimmed();
  if (request == "activate") {
    if (MainWindow()) ActivateMainWindow(MainWindow());
    socket->write("ok\n");
  } else {
    socket->write("?\n");
  }
  socket->flush();
  socket->disconnectFromServer();
}

}  // namespace

void ActivateMainWindow(QWidget* window) {
  if (!window) return;
  if (window->isMinimized())
    window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
  window->show();
  window->raise();
  window->activateWindow();
  QWidget* popup = QApplication::activeModalWidget();
  if (!popup) popup = QApplication::activePopupWidget();
  if (popup && popup != window) {
    popup->raise();
    popup->activateWindow();
  }
  LogInfo("%s: activated by a second start.", "ActivateMainWindow");
  qInfo("ipscanner: activated by a second start");
}

bool SetMainWindowProperty(QWidget* window) {
  MainWindow() = window;
  if (Server() && Server()->isListening()) return true;
  const std::string path = InstanceSocketPath();
  if (path.empty()) return false;
  auto* server = new QLocalServer(qApp);
  server->setSocketOptions(QLocalServer::UserAccessOption);
  const QString name = QString::fromStdString(path);
  QLocalServer::removeServer(name);  // left over by an instance that died; we hold the lock now
  if (!server->listen(name)) {
    qWarning("instance socket %s: %s", path.c_str(), qPrintable(server->errorString()));
    delete server;
    return false;
  }
  QObject::connect(server, &QLocalServer::newConnection, server, [server] {
    while (QLocalSocket* socket = server->nextPendingConnection()) {
      QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
      QObject::connect(socket, &QLocalSocket::readyRead, socket, [socket] { Answer(socket); });
      Answer(socket);
    }
  });
  Server() = server;
  return true;
}

void RemoveMainWindowProperty() {
  MainWindow() = nullptr;
  if (QLocalServer* server = Server()) {
    server->close();  // also removes the socket file
    delete server;
  }
}

bool SetHandOverProperty() { return SetHandOverMarker(); }

void HandOverToSuccessor(const char* who) {
  RemoveMainWindowProperty();
  if (!SetHandOverProperty()) LogInfo("%s:SetProp Failed!", who);
  CloseInstanceSemaphore();
  const bool started = StartOwnExecutable();
  LogInfo(started ? "%s:Success!" : "%s:CreateFail!", who);
  qInfo("ipscanner: handing over to a new instance (%s)", started ? "started" : "start failed");
  std::fflush(nullptr);
  _exit(1);  // other threads may still run: no static destructors under their feet
}
