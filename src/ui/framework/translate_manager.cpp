#include "ui/framework/translate_manager.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QLocale>
#include <QTranslator>
#include <QVariant>
#include <QWidget>

namespace {

QString Unescape(QStringView text) {
  QString out;
  out.reserve(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    QChar c = text[i];
    if (c == u'\\' && i + 1 < text.size()) {
      QChar n = text[++i];
      if (n == u'n')
        out += u'\n';
      else if (n == u't')
        out += u'\t';
      else
        out += n;  // "\\", "\=" and anything else: the character itself
    } else {
      out += c;
    }
  }
  return out;
}

// Index of the first '=' that is not escaped, or -1.
qsizetype SeparatorIndex(QStringView line) {
  for (qsizetype i = 0; i < line.size(); ++i) {
    if (line[i] == u'\\') {
      ++i;
    } else if (line[i] == u'=') {
      return i;
    }
  }
  return -1;
}

template <class Getter, class Setter>
void TranslateSlot(QWidget* w, const char* name, Getter get, Setter set) {
  const QByteArray keyProp = QByteArray("ips_tr_key_") + name;
  const QByteArray shownProp = QByteArray("ips_tr_shown_") + name;
  const QString current = get();
  QVariant key = w->property(keyProp.constData());
  if (key.isValid()) {
    if (current != w->property(shownProp.constData()).toString()) {
      // The code replaced the text: from now on it is data, not a layout text.
      w->setProperty(keyProp.constData(), QVariant());
      w->setProperty(shownProp.constData(), QVariant());
      return;
    }
  } else {
    if (current.isEmpty()) return;
    key = current;
  }
  const QString text = TrText(key.toString());
  w->setProperty(keyProp.constData(), key);
  w->setProperty(shownProp.constData(), text);
  if (text != current) set(text);
}

// Qt texts that Debian's Qt translations leave out for some languages (the French file lacks
// the file dialog's type column: "Folder" stayed English), taken from the catalog. Installed
// before Qt's own translator, so it is asked only when that one has no text.
class CQtGapTranslator : public QTranslator {
public:
  bool isEmpty() const override { return false; }
  QString translate(const char* context, const char* source, const char* disambiguation,
                    int n) const override {
    Q_UNUSED(disambiguation);
    Q_UNUSED(n);
    if (qstrcmp(context, "QAbstractFileIconProvider") != 0) return {};
    for (const char* known : {"Folder", "File", "Drive"}) {
      if (qstrcmp(source, known) == 0) return TrText(QString::fromLatin1(known));
    }
    return {};
  }
};

}  // namespace

CTranslateManager* CTranslateManager::GetInstance() {
  static CTranslateManager instance;
  return &instance;
}

int CTranslateManager::ParseCatalog(const QByteArray& utf8, QHash<QString, QString>* entries) {
  int malformed = 0;
  QString all = QString::fromUtf8(utf8);
  if (all.startsWith(QChar(0xFEFF))) all.remove(0, 1);
  const auto lines = QStringView(all).split(u'\n');
  for (QStringView line : lines) {
    if (line.endsWith(u'\r')) line.chop(1);
    QStringView trimmed = line.trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith(u'#')) continue;
    qsizetype eq = SeparatorIndex(trimmed);
    if (eq <= 0) {
      ++malformed;
      continue;
    }
    QString key = Unescape(trimmed.left(eq).trimmed());
    QString text = Unescape(trimmed.mid(eq + 1).trimmed());
    if (key.isEmpty()) {
      ++malformed;
      continue;
    }
    entries->insert(key, text);
  }
  return malformed;
}

bool CTranslateManager::LoadLanguage(const QString& path) {
  m_entries.clear();
  m_language.clear();
  QFile file(path);
  bool ok = file.open(QIODevice::ReadOnly);
  if (ok) {
    int malformed = ParseCatalog(file.readAll(), &m_entries);
    if (malformed > 0) qWarning("%s: %d malformed line(s) skipped", qPrintable(path), malformed);
    m_language = QFileInfo(path).completeBaseName();
  } else {
    qWarning("language catalog %s cannot be read", qPrintable(path));
  }
  if (qApp) {
    LoadQtTranslations();
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows) TranslateTree(window);
    // At once, not queued: the caller (the language view) goes on with the new texts in place.
    // QWidget hands the event down to every child, so hosted views get it too.
    for (QWidget* window : windows) {
      QEvent change(QEvent::LanguageChange);
      QCoreApplication::sendEvent(window, &change);
    }
  }
  return ok;
}

void CTranslateManager::LoadQtTranslations() {
  // Catalogs are named in their language's own name ("Deutsch", "Français"), which finds the
  // locale of Qt's translations.
  for (QTranslator** translator : {&m_qtTranslator, &m_qtGaps}) {
    if (*translator) {
      QCoreApplication::removeTranslator(*translator);
      delete *translator;
      *translator = nullptr;
    }
  }
  if (m_language.isEmpty()) return;
  // Without Qt's translations installed (qt6-translations-l10n), Qt's dialogs stay English.
  m_qtGaps = new CQtGapTranslator();
  QCoreApplication::installTranslator(m_qtGaps);
  for (int l = QLocale::C + 1; l <= QLocale::LastLanguage; ++l) {
    const QLocale locale(static_cast<QLocale::Language>(l));
    if (locale.language() == QLocale::C) continue;
    if (locale.nativeLanguageName().compare(m_language, Qt::CaseInsensitive) != 0) continue;
    auto* translator = new QTranslator();
    if (translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
      QCoreApplication::installTranslator(translator);
      m_qtTranslator = translator;
    } else {
      delete translator;
    }
    return;
  }
}

QString CTranslateManager::GetText(const QString& key) const {
  auto it = m_entries.constFind(key);
  return it == m_entries.constEnd() || it->isEmpty() ? key : *it;
}

void CTranslateManager::TranslateTree(QWidget* root) const {
  if (!root) return;
  QList<QWidget*> widgets = root->findChildren<QWidget*>();
  widgets.prepend(root);
  for (QWidget* w : widgets) {
    if (w->property("ips_no_translate").toBool()) continue;
    if (auto* label = qobject_cast<QLabel*>(w)) {
      TranslateSlot(
          w, "text", [label] { return label->text(); },
          [label](const QString& t) { label->setText(t); });
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
      TranslateSlot(
          w, "text", [button] { return button->text(); },
          [button](const QString& t) { button->setText(t); });
    } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
      TranslateSlot(
          w, "text", [group] { return group->title(); },
          [group](const QString& t) { group->setTitle(t); });
    } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
      TranslateSlot(
          w, "placeholder", [edit] { return edit->placeholderText(); },
          [edit](const QString& t) { edit->setPlaceholderText(t); });
    }
    TranslateSlot(
        w, "tooltip", [w] { return w->toolTip(); }, [w](const QString& t) { w->setToolTip(t); });
    if (w->isWindow()) {
      TranslateSlot(
          w, "title", [w] { return w->windowTitle(); },
          [w](const QString& t) { w->setWindowTitle(t); });
    }
  }
}

QString TrText(const QString& key) { return CTranslateManager::GetInstance()->GetText(key); }
