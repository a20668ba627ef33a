#pragma once

#include "ui/framework/base_dlg.h"

class CSystemLanguageView;
class CSystemNetworkView;
class QStackedWidget;

// The system settings ("SystemSettingDlg.xml"): two tabs, the language view and the network
// view, switched by the option buttons "opt_language" and "opt_network" over the tab layout
// "tab_system_view". The caption is the text of "label_title". Runs over a dimming mask on its
// parent; the main window opens it without a parent (on the network tab) before the control
// core starts, when no adapter has been chosen yet.
class CSystemSettingDlg : public CBaseDlg {
  Q_OBJECT
public:
  static constexpr int kTabLanguage = 0;
  static constexpr int kTabNetwork = 1;

  CSystemSettingDlg(QWidget* parent, int initialTab);

  CSystemLanguageView* GetLanguageView() const { return m_pLanguageView; }
  CSystemNetworkView* GetNetworkView() const { return m_pNetworkView; }
  QStackedWidget* GetTabLayout() const { return m_pTabLayout; }

protected:
  QString GetLayoutFileName() const override { return QStringLiteral("SystemSettingDlg.xml"); }
  void InitWindow() override;
  // The layout names the two views as custom classes.
  QWidget* CreateControl(const QString& className, QWidget* parent) override;
  IPS_DECLARE_MESSAGE_MAP()

private:
  void FindTabLayout();
  void OnOptLanguageClicked(TNotifyMsg& msg);
  void OnOptNetworkClicked(TNotifyMsg& msg);
  void OnCloseBtnClicked(TNotifyMsg& msg);
  void ShowTab(int page);

  CSystemLanguageView* m_pLanguageView = nullptr;
  CSystemNetworkView* m_pNetworkView = nullptr;
  QStackedWidget* m_pTabLayout = nullptr;
  int m_initialTab;
};
