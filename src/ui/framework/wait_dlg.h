#pragma once

// CWaitDlg: "please wait" with a message and a count of elapsed seconds while a blocking piece
// of work runs. The work runs on a worker thread; the dialog runs modally on the UI thread (so
// the window keeps painting and counting) and closes when the work has ended. When the work
// ends before the window is up, the window still shows and its first tick, a second later,
// closes it.
//
//   CWaitDlg wait(this);
//   wait.SetMessage("Uploading the firmware package. Please wait...");
//   bool copied = false;
//   wait.Run([&] { copied = CopyImage(src, dst); });   // returns when the work is done
//
// The work must not touch widgets. Layout "WaitDlg.xml": label_msg, label_second, closebtn,
// layout_progress, progress, lab_progress_tip.

#include <QMutex>
#include <atomic>
#include <functional>

#include "ui/framework/base_dlg.h"

class QLabel;
class QProgressBar;

class CWaitDlg : public CBaseDlg {
  Q_OBJECT
public:
  explicit CWaitDlg(QWidget* parent);

  static constexpr int kTickTimerId = 301;

  // Before Run.
  void SetMessage(const QString& text);
  // Shows the progress row (bar and "current/total"); before Run.
  void EnableProgress(bool show) { m_showProgress = show; }
  // From the work: the position the next tick shows. Thread-safe.
  void SetProgress(long current, long total);

  // Runs `work` on a worker thread and the dialog modally until the work has ended. Returns the
  // dialog's close code: IDOK when closed as the work ended, IDCANCEL when closed by a tick.
  int Run(std::function<void()> work);

  // The seconds shown now (1 when the window comes up).
  int SecondsShown() const;

protected:
  QString GetLayoutFileName() const override { return QStringLiteral("WaitDlg.xml"); }
  void InitWindow() override;
  // The window manager's close (Alt+F4, the title bar's button) while the work runs: refused.
  // Closing then would leave the caller waiting on the work with no window to show for it.
  void reject() override;
  IPS_DECLARE_MESSAGE_MAP()

private:
  void OnTimer(TNotifyMsg& msg);
  void OnCloseBtn(TNotifyMsg&) {}  // the user cannot cut the work short

  QString m_message;
  QLabel* m_pLabelMsg = nullptr;
  QLabel* m_pLabelSecond = nullptr;
  QWidget* m_pLayoutProgress = nullptr;
  QProgressBar* m_pProgress = nullptr;
  QLabel* m_pLabelProgressTip = nullptr;
  std::atomic<int> m_state{0};  // 0 running, 2 the work has ended
  bool m_showProgress = false;
  QMutex m_lock;  // the progress values, shared with the work
  long m_total = 0;
  long m_current = 0;
};
