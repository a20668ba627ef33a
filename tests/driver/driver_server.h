#pragma once

// The driver's socket server: each connection carries one request line and gets one reply.
// It lives on the UI thread; socket events are not user input, so requests are served inside
// modal dialogs and inside local event loops that exclude user input as well.

#include <QString>

namespace guidriver {

// Listens on the unix socket `path` (a stale socket file there is replaced); false with the
// reason in *error when it cannot. Needs the application object.
bool StartServer(const QString& path, QString* error);

}  // namespace guidriver
