#include "ui/settings/about_dlg.h"

#include <QAbstractButton>
#include <QDesktopServices>
#include <QLabel>

#include "shell/global_utils.h"

namespace {
CAboutDlg::OpenUrlHook& OpenUrlHookSlot() {
  static CAboutDlg::OpenUrlHook hook;
  return hook;
}
}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : CBaseDlg(QString(), parent, true) {}

void CAboutDlg::SetOpenUrlHook(OpenUrlHook hook) { OpenUrlHookSlot() = std::move(hook); }

IPS_BEGIN_MESSAGE_MAP(CAboutDlg, CBaseDlg)
IPS_ON_MSGTYPE("click", OnClickAny)
IPS_END_MESSAGE_MAP()

void CAboutDlg::InitWindow() {
  m_pLabelVersion = FindControl<QLabel>(QStringLiteral("lab_ver"));
  m_pBtnWeb = FindControl<QAbstractButton>(QStringLiteral("btn_web"));
  if (m_pLabelVersion)
    m_pLabelVersion->setText(QString::fromStdString(CGlobalUtils::GetFileVersionText()));
  // OK, not the web link before it, has the first focus: Enter closes the box.
  if (auto* ok = FindControl<QWidget>(QStringLiteral("btn_ok"))) ok->setFocus();
}

void CAboutDlg::OnClickAny(TNotifyMsg& msg) {
  const QString name = msg.SenderName();
  if (name == QLatin1String("btn_ok")) {
    Close(IDOK);
  } else if (name == QLatin1String("btn_web")) {
    const QUrl url(QString::fromLatin1(kWebSite));
    if (OpenUrlHookSlot()) {
      OpenUrlHookSlot()(url);
    } else {
      QDesktopServices::openUrl(url);
    }
  } else {
    // The layout's close button and anything else: the window's default click handling.
    CBaseDlg::OnClick(msg);
  }
}
