#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>

#include "ui/framework/notify.h"

class CBaseView;
class QTimer;

// The notification centre of one window: turns the Qt signals of the window's controls into
// notifications, runs the per-control timers and delivers every notification to the views it
// hosts (each filters for its own descendants) and then to the window's message map.
// One hub per top-level window, a child object of it; CNotifyHub::Of finds it from any control.
class CNotifyHub : public QObject {
  Q_OBJECT
public:
  CNotifyHub(QWidget* window, CNotifyPump* windowPump);

  static CNotifyHub* Of(const QWidget* control);

  // Wires every control at or below `subtree` (once per control) and registers the views found
  // there, calling DoInit on each new view. Call it for rows or pages built after the window.
  void Attach(QWidget* subtree);

  // Delivers a notification now, on the calling (UI) thread.
  void SendNotify(QWidget* sender, const QString& type, qint64 wParam = 0, qint64 lParam = 0);
  void SendNotify(TNotifyMsg& msg);

  // "timer" notifications from `control` every `periodMs` with wParam = id. Setting an id again
  // restarts it. Timers end with their control.
  bool SetTimer(QWidget* control, int id, int periodMs);
  void KillTimer(QWidget* control, int id);
  void KillAllTimers(QWidget* control);

  void AddNotifier(CBaseView* view);
  void RemoveNotifier(CBaseView* view);

  QWidget* Window() const { return m_window; }

  // The window is going away: deliver nothing more and stop every timer.
  void Shutdown();

private:
  void Wire(QWidget* control);

  QWidget* m_window;
  CNotifyPump* m_windowPump;
  QList<QPointer<CBaseView>> m_views;
  QHash<QPair<QWidget*, int>, QTimer*> m_timers;
  bool m_shutdown = false;
};
