#pragma once

// The language catalog. Language/<Name>.txt holds one entry a line, "key=text", in UTF-8 (see
// Language/README.md); the key is the English text. GetText returns the key itself when the
// catalog has no entry, so an English catalog may stay sparse and an unknown text shows as is.
// Windows get their layout texts translated when they are built. A later LoadLanguage switches
// every open window at once: it re-translates their layout texts that the code has not replaced
// since, then sends each window a QEvent::LanguageChange, on which CBaseDlg and CBaseView call
// OnLanguageChanged so that texts the code set from the catalog are set again (see
// ui/framework/README.md). Qt's own dialogs (file dialogs) follow the catalog's language too.

#include <QHash>
#include <QString>

class QTranslator;
class QWidget;

class CTranslateManager {
public:
  static CTranslateManager* GetInstance();

  // Replaces the catalog with the file's entries and switches the open windows to it. false
  // (and an empty catalog) when the file cannot be read; malformed lines are skipped with a
  // warning on stderr.
  bool LoadLanguage(const QString& path);
  QString GetText(const QString& key) const;
  // The catalog's file name without ".txt"; "" before a successful load.
  QString GetLanguageName() const { return m_language; }

  // Translates the shown texts at or below `root` (labels, buttons, group boxes, placeholders,
  // tooltips, window title) and remembers their keys for a later language change.
  void TranslateTree(QWidget* root) const;

  // Parses catalog text; returns the number of malformed lines (they are skipped).
  static int ParseCatalog(const QByteArray& utf8, QHash<QString, QString>* entries);

private:
  CTranslateManager() = default;
  void LoadQtTranslations();

  QHash<QString, QString> m_entries;
  QString m_language;
  QTranslator* m_qtTranslator = nullptr;  // Qt's own texts in the catalog's language
  QTranslator* m_qtGaps = nullptr;        // the few Qt texts those lack, from the catalog
};

// Shorthand for CTranslateManager::GetInstance()->GetText(key).
QString TrText(const QString& key);
