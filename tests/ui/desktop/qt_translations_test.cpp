// Qt's own dialogs speak the catalog's language: with the French or German catalog chosen, the
// widget file dialog (the one used where the desktop offers no portal) shows Qt's translated
// texts, and a live switch back to English takes them away again.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLibraryInfo>
#include <QTemporaryDir>

#include "support/ui_driver.h"
#include "ui/framework/translate_manager.h"

namespace {

// What a person reads in the dialog: its labels, its buttons and the type of a folder in the
// detail view ("Folder" in English).
QStringList ShownTexts(QFileDialog* dialog, const QString& folder) {
  QStringList texts;
  for (QLabel* label : dialog->findChildren<QLabel*>())
    if (label->isVisible()) texts << label->text();
  for (QAbstractButton* button : dialog->findChildren<QAbstractButton*>())
    if (button->isVisible() && !button->text().isEmpty()) texts << button->text();
  auto* model = dialog->findChild<QFileSystemModel*>();
  const QModelIndex sub = model ? model->index(folder) : QModelIndex();
  if (sub.isValid()) texts << model->data(sub.siblingAtColumn(2)).toString();
  return texts;
}

struct LanguageCase {
  const char* catalog;
  bool english;  // Qt's English texts are expected
};

TEST(QtTranslations, TheWidgetFileDialogFollowsTheCatalogLanguageLive) {
  const QString qtDir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  for (const char* file : {"qtbase_fr.qm", "qtbase_de.qm"}) {
    if (!QFile::exists(qtDir + QLatin1Char('/') + QLatin1String(file)))
      GTEST_SKIP()
          << qPrintable(qtDir) << "/" << file
          << " is missing: Qt's own translations (qt6-translations-l10n) are not installed";
  }
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("images")));
  const QString folder = dir.filePath(QStringLiteral("images"));
  const QStringList english = {QStringLiteral("Folder"), QStringLiteral("Cancel"),
                               QStringLiteral("File &name:"), QStringLiteral("Files of type:")};

  // French, German, back to English, French again: each switch applies at once.
  const LanguageCase cases[] = {
      {"Français", false}, {"Deutsch", false}, {"English", true}, {"Français", false}};
  for (const LanguageCase& c : cases) {
    ASSERT_TRUE(CTranslateManager::GetInstance()->LoadLanguage(
        QStringLiteral(IPS_SOURCE_DIR "/Language/%1.txt").arg(QString::fromUtf8(c.catalog))));
    QFileDialog dialog(nullptr, QStringLiteral("t"), dir.path(), QStringLiteral("*.rom"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setViewMode(QFileDialog::Detail);
    dialog.show();
    auto* model = dialog.findChild<QFileSystemModel*>();
    ASSERT_NE(model, nullptr);
    ASSERT_TRUE(uitest::WaitUntil([&] { return model->index(folder).isValid(); }));
    const QStringList shown = ShownTexts(&dialog, folder);
    uitest::SaveShot(&dialog, QStringLiteral("qt-file-dialog-") + QString::fromUtf8(c.catalog));
    for (const QString& word : english) {
      EXPECT_EQ(shown.contains(word), c.english)
          << c.catalog << ": '" << word.toStdString() << "' among "
          << shown.join(QStringLiteral(" | ")).toStdString();
    }
    dialog.hide();
  }
  CTranslateManager::GetInstance()->LoadLanguage(QString());
}

}  // namespace
