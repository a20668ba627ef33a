#pragma once

#include "ui/framework/base_view.h"

class QComboBox;

// The language tab ("SystemLanguageView.xml"): the catalogs of the Language folder in
// "combo_language", each listed by its name (the file name up to its first '.'), the language
// in force selected. OK asks, stores the choice in the settings and loads the catalog at once,
// which switches every open window; Cancel closes the dialog.
class CSystemLanguageView : public CBaseView {
  Q_OBJECT
public:
  explicit CSystemLanguageView(QWidget* parent);

  void DoInit() override;
  QString GetCurrentLanguage() const { return m_currentLanguage; }
  QComboBox* GetLanguageCombo() const { return m_pComboLanguage; }

  IPS_DECLARE_MESSAGE_MAP()

protected:
  void OnLanguageChanged() override;

private:
  void OnBtnOKClicked(TNotifyMsg& msg);
  void OnBtnCancelClicked(TNotifyMsg& msg);

  QComboBox* m_pComboLanguage = nullptr;
  QString m_currentLanguage;
  int m_selectedIndex = -1;
};
