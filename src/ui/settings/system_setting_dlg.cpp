#include "ui/settings/system_setting_dlg.h"

#include <QAbstractButton>
#include <QLabel>
#include <QStackedWidget>

#include "ui/settings/system_language_view.h"
#include "ui/settings/system_network_view.h"

CSystemSettingDlg::CSystemSettingDlg(QWidget* parent, int initialTab)
    : CBaseDlg(QString(), parent, true), m_initialTab(initialTab) {}

IPS_BEGIN_MESSAGE_MAP(CSystemSettingDlg, CBaseDlg)
IPS_ON_CLICK("opt_language", OnOptLanguageClicked)
IPS_ON_CLICK("opt_network", OnOptNetworkClicked)
IPS_ON_CLICK("closebtn", OnCloseBtnClicked)
IPS_END_MESSAGE_MAP()

QWidget* CSystemSettingDlg::CreateControl(const QString& className, QWidget* parent) {
  if (className == QLatin1String("SystemLanguageView")) {
    m_pLanguageView = new CSystemLanguageView(parent);
    return m_pLanguageView;
  }
  if (className == QLatin1String("SystemNetworkView")) {
    m_pNetworkView = new CSystemNetworkView(parent);
    return m_pNetworkView;
  }
  return CBaseDlg::CreateControl(className, parent);
}

void CSystemSettingDlg::FindTabLayout() {
  m_pTabLayout = FindControl<QStackedWidget>(QStringLiteral("tab_system_view"));
}

void CSystemSettingDlg::InitWindow() {
  if (QWidget* root = GetRoot(); root && !root->windowIcon().isNull())
    setWindowIcon(root->windowIcon());
  FindTabLayout();
  if (m_pTabLayout) {
    auto* optLanguage = FindControl<QAbstractButton>(QStringLiteral("opt_language"));
    auto* optNetwork = FindControl<QAbstractButton>(QStringLiteral("opt_network"));
    if (m_initialTab == kTabLanguage) {
      if (optLanguage) optLanguage->setChecked(true);
      ShowTab(kTabLanguage);
    } else if (m_initialTab == kTabNetwork) {
      if (optNetwork) optNetwork->setChecked(true);
      ShowTab(kTabNetwork);
    }
  }
  if (auto* title = FindControl<QLabel>(QStringLiteral("label_title")))
    setWindowTitle(title->text());
}

void CSystemSettingDlg::ShowTab(int page) {
  if (m_pTabLayout && page < m_pTabLayout->count()) m_pTabLayout->setCurrentIndex(page);
}

void CSystemSettingDlg::OnOptLanguageClicked(TNotifyMsg&) { ShowTab(kTabLanguage); }

void CSystemSettingDlg::OnOptNetworkClicked(TNotifyMsg&) { ShowTab(kTabNetwork); }

void CSystemSettingDlg::OnCloseBtnClicked(TNotifyMsg&) {
  // Before any adapter was chosen, closing is the network tab's Cancel: it keeps what is shown,
  // so that the choice sticks instead of being asked again at every start.
  if (m_pNetworkView && CSystemNetworkView::IsFirstChoice()) {
    m_pNetworkView->Cancel();
    return;
  }
  Close(IDCANCEL);
}
