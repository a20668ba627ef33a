#include "ui/settings/system_language_view.h"

#include <QComboBox>
#include <QHash>
#include <QLineEdit>

#include "record/site_paths.h"
#include "shell/global_utils.h"
#include "ui/framework/message_box.h"
#include "ui/framework/translate_manager.h"
#include "ui/main/window_site_record.h"
#include "ui/settings/settings_view_util.h"

CSystemLanguageView::CSystemLanguageView(QWidget* parent) : CBaseView(parent) {
  LoadLayout(QStringLiteral("SystemLanguageView.xml"));
}

IPS_BEGIN_MESSAGE_MAP(CSystemLanguageView, CBaseView)
IPS_ON_CLICK("btn_ok", OnBtnOKClicked)
IPS_ON_CLICK("btn_cancel", OnBtnCancelClicked)
IPS_END_MESSAGE_MAP()

void CSystemLanguageView::DoInit() {
  m_pComboLanguage = FindControl<QComboBox>(QStringLiteral("combo_language"));
  // Language name -> its index in the combo; a later catalog of the same name wins.
  QHash<QString, int> indexOfName;
  int index = 0;
  for (const std::string& file : CGlobalUtils::ListLanguageFiles()) {
    const QString name = QString::fromStdString(CGlobalUtils::LanguageNameOf(file));
    if (m_pComboLanguage) AddTranslatedItem(m_pComboLanguage, name, name);
    indexOfName.insert(name, index++);
  }
  m_currentLanguage = QString::fromStdString(CGlobalUtils::ReadLanguageSetting());
  if (!indexOfName.contains(m_currentLanguage)) m_currentLanguage = QStringLiteral("English");
  m_selectedIndex = indexOfName.value(m_currentLanguage, 0);
  if (m_pComboLanguage) m_pComboLanguage->setCurrentIndex(m_selectedIndex);
  m_pEditSiteName = FindControl<QLineEdit>(QStringLiteral("edit_site_name"));
  m_currentSite = ReadSiteSetting();
  if (m_pEditSiteName) m_pEditSiteName->setText(QString::fromStdString(m_currentSite));
}

bool CSystemLanguageView::CheckSiteName(std::string* name) {
  *name = m_pEditSiteName ? m_pEditSiteName->text().trimmed().toStdString() : m_currentSite;
  if (IsValidSiteName(*name)) return true;
  ShowMessageBox(window(), QStringLiteral("Site name"),
                 QStringLiteral("A site name has 1 to 64 letters, digits, '.', '_' or '-' and "
                                "does not start with '.'."),
                 MB_OK);
  if (m_pEditSiteName) m_pEditSiteName->setFocus();
  return false;
}

void CSystemLanguageView::ApplySiteName(const std::string& name) {
  if (!WriteSiteSetting(name)) {
    ShowMessageBox(window(), QStringLiteral("Site name"),
                   QStringLiteral("The site name could not be saved."), MB_OK);
    return;
  }
  m_currentSite = name;
  // The window records into the new site from now on, without a restart.
  if (CWindowSiteRecord* record = CWindowSiteRecord::Current()) record->SwitchTo(name);
}

void CSystemLanguageView::OnLanguageChanged() { RetranslateItems(m_pComboLanguage); }

void CSystemLanguageView::OnBtnOKClicked(TNotifyMsg&) {
  std::string site;
  if (!CheckSiteName(&site)) return;
  const bool siteChanged = site != m_currentSite;
  const QString chosen = m_pComboLanguage ? m_pComboLanguage->currentData().toString() : QString();
  if (chosen == m_currentLanguage) {
    if (siteChanged) ApplySiteName(site);
    CloseHostDialog(this, siteChanged ? IDOK : IDCANCEL);
    return;
  }
  if (ShowMessageBox(window(), QStringLiteral("Confirmation"),
                     QStringLiteral("Do you want to change the language?"), MB_YESNO) != IDYES) {
    return;  // the dialog stays open
  }
  if (siteChanged) ApplySiteName(site);
  if (!CGlobalUtils::WriteLanguageSetting(chosen.toStdString())) {
    ShowMessageBox(nullptr, QStringLiteral("Confirmation"),
                   QStringLiteral("Failed to modify language."), MB_OK);
  }
  m_currentLanguage = chosen;
  // Every open window switches now; the setting holds the choice for the next start.
  CTranslateManager::GetInstance()->LoadLanguage(
      QString::fromStdString(CGlobalUtils::LanguageCatalogPath(chosen.toStdString())));
  CloseHostDialog(this, IDOK);
}

void CSystemLanguageView::OnBtnCancelClicked(TNotifyMsg&) { CloseHostDialog(this, IDCANCEL); }
