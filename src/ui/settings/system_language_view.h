#pragma once

#include <string>

#include "ui/framework/base_view.h"

class QComboBox;
class QLineEdit;

// The language tab ("SystemLanguageView.xml"): the catalogs of the Language folder in
// "combo_language", each listed by its name (the file name up to its first '.'), the language
// in force selected. OK asks, stores the choice in the settings and loads the catalog at once,
// which switches every open window. Below it, "edit_site_name": the site whose record the window
// writes ([SITE_SETTING] SiteName); OK checks it with the command line's --site rule, stores it
// and switches the window's record to it at once. Cancel closes the dialog.
class CSystemLanguageView : public CBaseView {
  Q_OBJECT
public:
  explicit CSystemLanguageView(QWidget* parent);

  void DoInit() override;
  QString GetCurrentLanguage() const { return m_currentLanguage; }
  QComboBox* GetLanguageCombo() const { return m_pComboLanguage; }
  QLineEdit* GetSiteNameEdit() const { return m_pEditSiteName; }

  IPS_DECLARE_MESSAGE_MAP()

protected:
  void OnLanguageChanged() override;

private:
  void OnBtnOKClicked(TNotifyMsg& msg);
  void OnBtnCancelClicked(TNotifyMsg& msg);
  // False (and the dialog stays) when the typed name is not a valid site name.
  bool CheckSiteName(std::string* name);
  void ApplySiteName(const std::string& name);

  QComboBox* m_pComboLanguage = nullptr;
  QLineEdit* m_pEditSiteName = nullptr;
  QString m_currentLanguage;
  std::string m_currentSite;
  int m_selectedIndex = -1;
};
