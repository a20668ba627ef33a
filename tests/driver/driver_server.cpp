#include "driver_server.h"

#include <QCoreApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QVariant>
#include <string>

#include "command_registry.h"
#include "wire_format.h"

namespace guidriver {

namespace {

// The longest request line the driver reads; longer ones are refused.
constexpr qint64 kMaxRequestBytes = 64 * 1024;

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

}  // namespace

bool StartServer(const QString& path, QString* error) {
  auto* server = new QLocalServer(qApp);
  server->setSocketOptions(QLocalServer::UserAccessOption);
  QLocalServer::removeServer(path);  // a socket file left by an earlier run
  if (!server->listen(path)) {
    if (error) *error = server->errorString();
    delete server;
    return false;
  }
  QObject::connect(server, &QLocalServer::newConnection, server, [server] {
    while (QLocalSocket* socket = server->nextPendingConnection()) Serve(socket);
  });
  return true;
}

}  // namespace guidriver
