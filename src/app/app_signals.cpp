#include "app/app_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <csignal>

#include "ui/framework/base_dlg.h"
#include "ui/framework/instance_beacon.h"

namespace {

int g_signalPipe[2] = {-1, -1};

void OnPosixSignal(int sig) {
  unsigned char byte = static_cast<unsigned char>(sig);
  ssize_t ignored = write(g_signalPipe[1], &byte, 1);
  (void)ignored;
}

}  // namespace

CAppSignals::CAppSignals(QObject* parent) : QObject(parent) {
  if (pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  m_notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
  connect(m_notifier, &QSocketNotifier::activated, this, &CAppSignals::OnSignal);
  struct sigaction sa {};
  sa.sa_handler = OnPosixSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGUSR1}) sigaction(sig, &sa, nullptr);
}

CAppSignals::~CAppSignals() {
  for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGUSR1}) signal(sig, SIG_DFL);
}

void CAppSignals::OnSignal() {
  unsigned char sig = 0;
  while (read(g_signalPipe[0], &sig, 1) == 1) {
    if (sig == SIGUSR1) RestartProgram();
    // Innermost modal window first: each modal loop returns to the one below it.
    qInfo("ipscanner: closing on signal %d", sig);
    QWidget* modal = QApplication::activeModalWidget();
    while (modal) {
      if (auto* dlg = qobject_cast<CBaseDlg*>(modal)) {
        if (!dlg->isVisible()) break;
        dlg->Close(IDCANCEL);
      } else if (auto* other = qobject_cast<QDialog*>(modal)) {
        other->reject();  // a system dialog (the export's file dialog): cancelled
      } else {
        break;
      }
      QWidget* next = QApplication::activeModalWidget();
      if (next == modal) break;
      modal = next;
    }
    // Also a window still starting (the main window while the first-start settings are open):
    // it closes as soon as it shows.
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (auto* dlg = qobject_cast<CBaseDlg*>(w); dlg && dlg->IsCreated()) dlg->Close(IDCANCEL);
    }
  }
}

void RestartProgram() { HandOverToSuccessor("RestartProgram"); }
