#pragma once

#include <QObject>

class QSocketNotifier;

// Signals as window events. SIGTERM, SIGINT and SIGHUP close every window with IDCANCEL, so the
// program ends the normal way (web server stopped, download folder emptied). SIGUSR1 runs the
// restart hand-over, as a change of network adapter does.
class CAppSignals : public QObject {
  Q_OBJECT
public:
  explicit CAppSignals(QObject* parent = nullptr);
  ~CAppSignals() override;

private:
  void OnSignal();

  QSocketNotifier* m_notifier = nullptr;
};

// The restart hand-over (HandOverToSuccessor), as a change of network adapter runs it.
[[noreturn]] void RestartProgram();
