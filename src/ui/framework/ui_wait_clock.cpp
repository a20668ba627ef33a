#include "ui/framework/ui_wait_clock.h"

#include <QEventLoop>
#include <QTimer>

namespace {
int g_waitDepth = 0;  // UI thread only
}

std::chrono::milliseconds CUiWaitClock::Now() { return SteadyOpClock().Now(); }

void CUiWaitClock::Pause(std::chrono::milliseconds duration) {
  ++g_waitDepth;
  QEventLoop loop;
  QTimer timer;
  timer.setSingleShot(true);
  timer.setTimerType(Qt::PreciseTimer);  // 10 ms polls stay 10 ms
  QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
  timer.start(static_cast<int>(duration.count()));
  loop.exec(QEventLoop::ExcludeUserInputEvents);
  --g_waitDepth;
}

bool CUiWaitClock::IsWaiting() { return g_waitDepth > 0; }
