// Language catalogs: the file format, lookups, translation of window texts, and the shipped
// catalogs themselves.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QVBoxLayout>

#include "ui/framework/translate_manager.h"

namespace {

struct ParseCase {
  const char* name;
  QByteArray text;
  QHash<QString, QString> expected;
  int malformed;
};

TEST(Catalog, ParsesTheDocumentedFormat) {
  const ParseCase cases[] = {
      {"comments and blank lines",
       "# Deutsch\n\n  # indented comment\nOK=OK\nCancel=Abbrechen\n",
       {{"OK", "OK"}, {"Cancel", "Abbrechen"}},
       0},
      {"BOM and CRLF", "\xEF\xBB\xBFYes=Ja\r\nNo=Nein\r\n", {{"Yes", "Ja"}, {"No", "Nein"}}, 0},
      {"spaces around key and text", "  Cancel  =  Abbrechen  \n", {{"Cancel", "Abbrechen"}}, 0},
      {"escaped separator and newline", "a\\=b=c\\nd\nx=y=z\n", {{"a=b", "c\nd"}, {"x", "y=z"}}, 0},
      {"UTF-8 text", "Confirmation=Bestätigung\n", {{"Confirmation", "Bestätigung"}}, 0},
      {"malformed lines skipped", "no separator\n=no key\nOK=Gut\n", {{"OK", "Gut"}}, 2},
      {"later entry wins", "OK=A\nOK=B\n", {{"OK", "B"}}, 0},
  };
  for (const ParseCase& c : cases) {
    QHash<QString, QString> entries;
    EXPECT_EQ(CTranslateManager::ParseCatalog(c.text, &entries), c.malformed) << c.name;
    EXPECT_EQ(entries, c.expected) << c.name;
  }
}

class CatalogFiles : public ::testing::Test {
protected:
  QString Write(const QString& name, const QByteArray& text) {
    const QString path = m_dir.filePath(name);
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
    return path;
  }
  void TearDown() override { CTranslateManager::GetInstance()->LoadLanguage(QString()); }
  QTemporaryDir m_dir;
};

TEST_F(CatalogFiles, MissingEntriesAndMissingFilesGiveTheKeyItself) {
  auto* tm = CTranslateManager::GetInstance();
  ASSERT_TRUE(tm->LoadLanguage(Write("Deutsch.txt", "Cancel=Abbrechen\nEmpty=\n")));
  EXPECT_EQ(tm->GetLanguageName(), "Deutsch");
  EXPECT_EQ(tm->GetText("Cancel"), "Abbrechen");
  EXPECT_EQ(tm->GetText("Not in the catalog"), "Not in the catalog");
  EXPECT_EQ(tm->GetText("Empty"), "Empty");
  EXPECT_FALSE(tm->LoadLanguage(m_dir.filePath("Klingon.txt")));
  EXPECT_EQ(tm->GetText("Cancel"), "Cancel");
}

TEST_F(CatalogFiles, WindowTextsFollowALanguageChangeUnlessTheCodeReplacedThem) {
  auto* tm = CTranslateManager::GetInstance();
  const QString de = Write("Deutsch.txt", "Cancel=Abbrechen\nDevice ID=Geräte-ID\n");
  const QString fr = Write("Français.txt", "Cancel=Annuler\nDevice ID=ID de l'appareil\n");
  QWidget window;
  auto* box = new QVBoxLayout(&window);
  auto* button = new QPushButton("Cancel");
  auto* caption = new QLabel("Device ID");
  auto* value = new QLabel("Device ID");
  box->addWidget(button);
  box->addWidget(caption);
  box->addWidget(value);
  window.show();
  ASSERT_TRUE(tm->LoadLanguage(de));
  tm->TranslateTree(&window);
  EXPECT_EQ(button->text(), "Abbrechen");
  EXPECT_EQ(caption->text(), "Geräte-ID");
  value->setText("1-1-1-101");        // data shown by the code
  ASSERT_TRUE(tm->LoadLanguage(fr));  // re-translates open windows
  EXPECT_EQ(button->text(), "Annuler");
  EXPECT_EQ(caption->text(), "ID de l'appareil");
  EXPECT_EQ(value->text(), "1-1-1-101");
}

// The catalogs that ship: well-formed, complete, and with the same placeholders as the key.
TEST(ShippedCatalogs, AreCompleteAndKeepPlaceholders) {
  const QDir dir(QCoreApplication::applicationDirPath() + "/Language");
  const QStringList files = dir.entryList({"*.txt"}, QDir::Files);
  ASSERT_TRUE(files.contains("English.txt"));
  ASSERT_GE(files.size(), 3);
  auto load = [&](const QString& file, QHash<QString, QString>* entries) {
    QFile f(dir.filePath(file));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << file.toStdString();
    EXPECT_EQ(CTranslateManager::ParseCatalog(f.readAll(), entries), 0) << file.toStdString();
  };
  QHash<QString, QString> english;
  load("English.txt", &english);
  EXPECT_GT(english.size(), 100);
  static const QRegularExpression placeholder("%(l?[dsu]|%)");
  auto placeholders = [](const QString& s) {
    QStringList all;
    for (auto it = placeholder.globalMatch(s); it.hasNext();) all << it.next().captured();
    return all;
  };
  for (const QString& file : files) {
    QHash<QString, QString> entries;
    load(file, &entries);
    for (auto it = english.cbegin(); it != english.cend(); ++it) {
      EXPECT_TRUE(entries.contains(it.key()))
          << file.toStdString() << " lacks \"" << it.key().toStdString() << "\"";
    }
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
      EXPECT_TRUE(english.contains(it.key()))
          << file.toStdString() << ": unknown key \"" << it.key().toStdString() << "\"";
      EXPECT_EQ(placeholders(it.key()), placeholders(it.value()))
          << file.toStdString() << ": " << it.key().toStdString();
    }
  }
}

}  // namespace

// Refreshing the list and upgrading a device's firmware sit side by side in the main window: no
// catalog may name them with words of one stem ("Aktualisieren" and "Aktualisierung").
TEST(ShippedCatalogs, RefreshAndFirmwareUpgradeReadDifferently) {
  const QDir dir(QCoreApplication::applicationDirPath() + "/Language");
  for (const QString& file : dir.entryList({"*.txt"}, QDir::Files)) {
    QFile f(dir.filePath(file));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << file.toStdString();
    QHash<QString, QString> entries;
    CTranslateManager::ParseCatalog(f.readAll(), &entries);
    const QString refresh = entries.value("Refresh").toLower();
    for (const char* key : {"Upgrade", "Firmware Upgrade"}) {
      const QString upgrade = entries.value(key).toLower();
      ASSERT_FALSE(refresh.isEmpty() || upgrade.isEmpty()) << file.toStdString();
      for (const QString& word : upgrade.split(QRegularExpression("[\\s-]+"), Qt::SkipEmptyParts))
        EXPECT_NE(word.left(6), refresh.left(6)) << file.toStdString() << ": " << key;
    }
  }
}
