#include "ui/framework/wait_dlg.h"

#include <QLabel>
#include <QProgressBar>
#include <cmath>
#include <thread>

CWaitDlg::CWaitDlg(QWidget* parent) : CBaseDlg(QStringLiteral("WaitDlg"), parent, true) {}

IPS_BEGIN_MESSAGE_MAP(CWaitDlg, CBaseDlg)
IPS_ON_CLICK("closebtn", OnCloseBtn)
IPS_ON_MSGTYPE("timer", OnTimer)
IPS_END_MESSAGE_MAP()

void CWaitDlg::SetMessage(const QString& text) {
  m_message = text;
  if (m_pLabelMsg) m_pLabelMsg->setText(text);
}

void CWaitDlg::SetProgress(long current, long total) {
  QMutexLocker lock(&m_lock);
  m_current = current;
  m_total = total;
}

int CWaitDlg::SecondsShown() const {
  return m_pLabelSecond ? static_cast<int>(GetTag(m_pLabelSecond)) : 0;
}

void CWaitDlg::InitWindow() {
  m_pLabelMsg = FindControl<QLabel>(QStringLiteral("label_msg"));
  m_pLabelSecond = FindControl<QLabel>(QStringLiteral("label_second"));
  m_pLayoutProgress = FindControl(QStringLiteral("layout_progress"));
  m_pProgress = FindControl<QProgressBar>(QStringLiteral("progress"));
  m_pLabelProgressTip = FindControl<QLabel>(QStringLiteral("lab_progress_tip"));
  if (m_pLayoutProgress) {
    m_pLayoutProgress->setVisible(m_showProgress);
    if (m_showProgress) resize(680, 218);
  }
  if (m_pProgress) m_pProgress->setValue(0);
  if (QWidget* close = FindControl(QStringLiteral("closebtn"))) close->setVisible(false);
  if (m_pLabelMsg) m_pLabelMsg->setText(m_message);
  if (m_pLabelSecond) {
    SetTag(m_pLabelSecond, 1);
    m_pLabelSecond->setText(QStringLiteral("1"));
  }
  SetTimer(GetRoot(), kTickTimerId, 1000);
}

void CWaitDlg::OnTimer(TNotifyMsg& msg) {
  if (msg.wParam != kTickTimerId) return;
  if (m_state.load() != 0) {
    Close(IDCANCEL);
    return;
  }
  if (m_pLabelSecond) {
    quintptr n = GetTag(m_pLabelSecond) + 1;
    SetTag(m_pLabelSecond, n);
    m_pLabelSecond->setText(QString::number(n));
  }
  QMutexLocker lock(&m_lock);
  if (m_showProgress && m_pProgress && m_total > 0) {
    double percent =
        std::floor(std::round(static_cast<double>(m_current) / m_total * 10000.0) / 100.0);
    if (percent > m_pProgress->value()) m_pProgress->setValue(static_cast<int>(percent));
    if (m_pLabelProgressTip)
      m_pLabelProgressTip->setText(QStringLiteral("%1/%2").arg(m_current).arg(m_total));
  }
}

void CWaitDlg::reject() {
  if (m_state.load() == 0) return;  // the work runs: the user cannot cut it short
  CBaseDlg::reject();
}

int CWaitDlg::Run(std::function<void()> work) {
  m_state.store(0);
  std::thread worker([this, work = std::move(work)] {
    if (work) work();
    m_state.store(2);
    Close(IDOK);  // ignored while the window is not up: its first tick closes it then
  });
  int code = DoModal();
  worker.join();
  return code;
}
