// The program's name as people read it: never one of the two garbled spellings that once stood
// in window titles and in the restart question, in any catalog or layout.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QStringList>

#include "ui/framework/message_box.h"
#include "ui/framework/translate_manager.h"
#include "ui/main/main_wnd.h"

namespace {

QStringList FilesIn(const char* folder, const QString& pattern) {
  QDir dir(QStringLiteral(IPS_SOURCE_DIR "/") + QLatin1String(folder));
  QStringList paths;
  for (const QString& name : dir.entryList({pattern}, QDir::Files)) paths << dir.filePath(name);
  return paths;
}

TEST(ProductName, NoCatalogOrLayoutCarriesAGarbledName) {
  const QStringList files =
      FilesIn("Language", QStringLiteral("*.txt")) + FilesIn("skin", QStringLiteral("*.xml"));
  ASSERT_GE(files.size(), 10);  // three catalogs and the layouts: the walk found them
  for (const QString& path : files) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    const QString text = QString::fromUtf8(file.readAll());
    for (const char* garbled : {"VIRN", "Ipscanner", "Dadovev", "ZE D"}) {
      EXPECT_FALSE(text.contains(QLatin1String(garbled), Qt::CaseSensitive))
          << path.toStdString() << " contains " << garbled;
    }
  }
}

TEST(ProductName, TitlesAndTheRestartQuestionSayIpScannerInEveryCatalog) {
  const QString restart = QStringLiteral(
      "If you change the network interface card, IP Scanner will restart automatically.");
  for (const QString& catalog : FilesIn("Language", QStringLiteral("*.txt"))) {
    ASSERT_TRUE(CTranslateManager::GetInstance()->LoadLanguage(catalog));
    EXPECT_EQ(TrText(QStringLiteral("IP Scanner")), "IP Scanner") << catalog.toStdString();
    EXPECT_TRUE(TrText(restart).contains(QLatin1String("IP Scanner"))) << catalog.toStdString();
    if (!catalog.endsWith(QLatin1String("English.txt"))) {
      EXPECT_NE(TrText(restart), restart) << "untranslated in " << catalog.toStdString();
    }

    CMainWnd::SetStartupHook([](CMainWnd*) {});
    CMainWnd wnd;
    ASSERT_TRUE(wnd.Create());
    EXPECT_EQ(wnd.windowTitle(), "IP Scanner") << catalog.toStdString();
    MessageBoxDlg box(nullptr, TrText(QStringLiteral("IP Scanner")), QStringLiteral("?"), MB_OK);
    ASSERT_TRUE(box.Create());
    EXPECT_EQ(box.windowTitle(), "IP Scanner");
    CMainWnd::SetStartupHook({});
  }
  CTranslateManager::GetInstance()->LoadLanguage(QString());
}

}  // namespace
