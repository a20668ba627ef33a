#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

#include "shell/global_utils.h"
#include "support/ui_driver.h"
#include "ui/framework/message_box.h"
#include "ui/framework/translate_manager.h"
#include "ui/settings/system_language_view.h"
#include "ui/settings/system_network_view.h"
#include "ui/settings/system_setting_dlg.h"

namespace {

const QString kSep = QString::fromUtf8(CGlobalUtils::kIpSeparator);  // the settings file's
const QString kShownSep = QStringLiteral(", ");                      // the window's

AdapterEntry Adapter(const std::string& name, const std::string& kind,
                     std::vector<std::string> addresses) {
  AdapterEntry entry;
  entry.szAdapterName = name;
  entry.szDescription = name + " (" + kind + ")";
  entry.ipAddresses = std::move(addresses);
  return entry;
}

// The settings dialog over a module folder of the test's own (settings file, Language folder)
// and a fixed list of adapters; message boxes are answered from a queue and the restart is
// counted instead of run.
class SystemSettingsTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    CGlobalUtils::SetModuleDirForTesting(dir.path().toStdString());
    QDir(dir.path()).mkpath("Language");
    adapters = {Adapter("eth0", "Ethernet", {"192.168.1.1"}),
                Adapter("wlan0", "Wi-Fi", {"10.0.0.5", "10.0.0.6"})};
    CSystemNetworkView::SetAdapterSource([this] { return adapters; });
    CSystemNetworkView::SetRestartHook([this] { ++restarts; });
    boxes = std::make_unique<uitest::MessageBoxAnswers>();
  }
  void TearDown() override {
    dlg.reset();
    boxes.reset();  // a box nobody expected, or an answer left over, fails the test
    CSystemNetworkView::SetAdapterSource({});
    CSystemNetworkView::SetRestartHook({});
    CGlobalUtils::SetModuleDirForTesting("");
    CTranslateManager::GetInstance()->LoadLanguage(QString());
  }

  void WriteFile(const QString& relative, const QByteArray& content) {
    QFile file(dir.filePath(relative));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
  }
  std::string Setting(const char* key) { return CGlobalUtils::ReadNetConnSetting(key, 2048); }

  void Open(int tab) {
    dlg = std::make_unique<CSystemSettingDlg>(nullptr, tab);
    ASSERT_TRUE(dlg->Create());
    dlg->show();
    QApplication::processEvents();
  }
  void Click(const char* name) {
    // Both views have a "btn_ok" and a "btn_cancel": click the one of the shown tab.
    ASSERT_TRUE(uitest::ClickControl(dlg->GetTabLayout()->currentWidget(), name)) << name;
  }
  QComboBox* Card() { return dlg->GetNetworkView()->GetAdapterCombo(); }
  QComboBox* Languages() { return dlg->GetLanguageView()->GetLanguageCombo(); }
  QStringList Items(QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
    return items;
  }
  QString Shown() { return dlg->GetNetworkView()->GetAddressLabel()->text(); }
  bool Closed() { return !dlg->isVisible(); }

  QTemporaryDir dir;
  std::vector<AdapterEntry> adapters;
  int restarts = 0;
  std::unique_ptr<uitest::MessageBoxAnswers> boxes;
  std::unique_ptr<CSystemSettingDlg> dlg;
};

TEST_F(SystemSettingsTest, OpensOnTheAskedTabWithTheCaptionOfTheLayout) {
  for (int tab : {CSystemSettingDlg::kTabLanguage, CSystemSettingDlg::kTabNetwork}) {
    Open(tab);
    EXPECT_EQ(dlg->GetTabLayout()->currentIndex(), tab);
    const char* option = tab == 0 ? "opt_language" : "opt_network";
    EXPECT_TRUE(dlg->FindControl<QAbstractButton>(option)->isChecked()) << option;
    EXPECT_EQ(dlg->windowTitle(), "System Settings");
  }
  ASSERT_TRUE(uitest::ClickControl(dlg.get(), "opt_language"));
  EXPECT_EQ(dlg->GetTabLayout()->currentIndex(), 0);
  ASSERT_TRUE(uitest::ClickControl(dlg.get(), "opt_network"));
  EXPECT_EQ(dlg->GetTabLayout()->currentIndex(), 1);
}

// --- language tab

TEST_F(SystemSettingsTest, ListsTheCatalogsByNameWithTheCurrentOneSelected) {
  WriteFile("Language/English.txt", "Cancel=Cancel\n");
  WriteFile("Language/Deutsch.txt", "Cancel=Abbrechen\n");
  WriteFile("Language/Chinese.Simplified.txt", "Cancel=QuXiao\n");
  WriteFile("Language/README.md", "not a catalog");
  ASSERT_TRUE(CGlobalUtils::WriteLanguageSetting("Deutsch"));
  Open(CSystemSettingDlg::kTabLanguage);
  EXPECT_EQ(Items(Languages()), QStringList({"Chinese", "Deutsch", "English"}));
  EXPECT_EQ(Languages()->currentText(), "Deutsch");
  EXPECT_EQ(dlg->GetLanguageView()->GetCurrentLanguage(), "Deutsch");

  // The language in force again: closes without a question.
  Click("btn_ok");
  EXPECT_TRUE(Closed());
}

TEST_F(SystemSettingsTest, NoKeepsTheDialogOpenAndYesSwitchesTheLanguageAtOnce) {
  WriteFile("Language/English.txt", "Cancel=Cancel\n");
  WriteFile("Language/Chinese.Simplified.txt", "Cancel=QuXiao\nOK=HaoDe\n");
  Open(CSystemSettingDlg::kTabLanguage);  // no setting: English
  EXPECT_EQ(Languages()->currentText(), "English");
  Languages()->setCurrentIndex(Languages()->findData("Chinese"));

  boxes->Queue(IDNO, "Do you want to change the language?");
  Click("btn_ok");
  EXPECT_FALSE(Closed());
  EXPECT_EQ(CGlobalUtils::ReadLanguageSetting(), "");

  boxes->Queue(IDYES, "Do you want to change the language?");
  Click("btn_ok");
  EXPECT_TRUE(Closed());
  EXPECT_EQ(dlg->result(), IDOK);
  // Stored under its listed name; the catalog loaded is the file listed under it.
  EXPECT_EQ(CGlobalUtils::ReadLanguageSetting(), "Chinese");
  EXPECT_EQ(TrText("Cancel"), "QuXiao");
  // The open dialog followed at once: its buttons are in the new language.
  EXPECT_EQ(uitest::ReadLabel(dlg->GetLanguageView(), "btn_ok"), "HaoDe");
}

TEST_F(SystemSettingsTest, AFailedLanguageWriteIsReportedAndTheCatalogStillLoads) {
  WriteFile("Language/English.txt", "");
  WriteFile("Language/Deutsch.txt", "Cancel=Abbrechen\n");
  WriteFile("config", "a file where the settings folder should be");
  Open(CSystemSettingDlg::kTabLanguage);
  Languages()->setCurrentIndex(Languages()->findData("Deutsch"));
  boxes->Queue(IDYES, "change the language");
  boxes->Queue(IDOK, "Failed to modify language.");
  Click("btn_ok");
  EXPECT_TRUE(Closed());
  EXPECT_EQ(TrText("Cancel"), "Abbrechen");
}

// --- network tab

TEST_F(SystemSettingsTest, FirstStartShowsAllAndCancelAsksForTheRestart) {
  Open(CSystemSettingDlg::kTabNetwork);
  EXPECT_EQ(Items(Card()), QStringList({"All", "eth0 (Ethernet)  192.168.1.1",
                                        "wlan0 (Wi-Fi)  10.0.0.5, 10.0.0.6"}));
  EXPECT_EQ(Card()->currentIndex(), 0);
  EXPECT_EQ(Shown(), "192.168.1.1" + kShownSep + "10.0.0.5" + kShownSep + "10.0.0.6");
  EXPECT_FALSE(QFile::exists(dir.filePath("config/SystemSetting.ini")));  // nothing written

  // No choice was ever saved: Cancel is OK, which asks before restarting.
  boxes->Queue(IDCANCEL, "IP Scanner will restart automatically");
  Click("btn_cancel");
  EXPECT_FALSE(Closed());
  EXPECT_EQ(restarts, 0);
  EXPECT_EQ(Setting("Interface"), "");

  boxes->Queue(IDOK, "IP Scanner will restart automatically");
  Click("btn_cancel");
  EXPECT_EQ(restarts, 1);
  EXPECT_EQ(Setting("Interface"), "All");
  EXPECT_EQ(Setting("AdapterName"), "All");
  EXPECT_EQ(Setting("IP"), ("192.168.1.1" + kSep + "10.0.0.5" + kSep + "10.0.0.6").toStdString());
}

TEST_F(SystemSettingsTest, TheSavedAddressSelectsItsAdapterAndTheSameChoiceClosesQuietly) {
  ASSERT_TRUE(CGlobalUtils::WriteNetConnSetting("Interface", "eth0"));
  ASSERT_TRUE(CGlobalUtils::WriteNetConnSetting("AdapterName", "eth0"));
  ASSERT_TRUE(CGlobalUtils::WriteNetConnSetting("IP", "192.168.1.1"));
  Open(CSystemSettingDlg::kTabNetwork);
  EXPECT_EQ(Card()->currentIndex(), 1);
  EXPECT_EQ(Shown(), "192.168.1.1");

  Click("btn_ok");  // same adapter: no question, no restart
  EXPECT_TRUE(Closed());
  EXPECT_EQ(restarts, 0);
  EXPECT_EQ(Setting("IP"), "192.168.1.1");
}

TEST_F(SystemSettingsTest, TheSavedAddressIsComparedAsAWholeAddress) {
  // 192.168.1.1 occurs in the saved text, but the saved address is another one.
  ASSERT_TRUE(CGlobalUtils::WriteNetConnSetting("Interface", "eth0"));
  ASSERT_TRUE(CGlobalUtils::WriteNetConnSetting("IP", "192.168.1.10"));
  Open(CSystemSettingDlg::kTabNetwork);
  EXPECT_EQ(Card()->currentIndex(), 0);
}

TEST_F(SystemSettingsTest, WhenSeveralAdaptersMatchTheLastWins) {
  ASSERT_TRUE(CGlobalUtils::WriteNetConnSetting("Interface", "eth0 (Ethernet)"));
  ASSERT_TRUE(
      CGlobalUtils::WriteNetConnSetting("IP", ("192.168.1.1" + kSep + "10.0.0.6").toStdString()));
  Open(CSystemSettingDlg::kTabNetwork);
  EXPECT_EQ(Card()->currentIndex(), 2);
  EXPECT_EQ(Shown(), "10.0.0.5" + kShownSep + "10.0.0.6");
}

TEST_F(SystemSettingsTest, SavedAllIsRewrittenWithTheAddressesOfToday) {
  ASSERT_TRUE(CGlobalUtils::WriteNetConnSetting("Interface", "All"));
  ASSERT_TRUE(CGlobalUtils::WriteNetConnSetting("AdapterName", "All"));
  ASSERT_TRUE(CGlobalUtils::WriteNetConnSetting("IP", "172.16.0.9"));
  Open(CSystemSettingDlg::kTabNetwork);
  EXPECT_EQ(Card()->currentIndex(), 0);
  EXPECT_EQ(Setting("IP"), ("192.168.1.1" + kSep + "10.0.0.5" + kSep + "10.0.0.6").toStdString());
  Click("btn_cancel");  // a choice exists: Cancel just closes
  EXPECT_TRUE(Closed());
  EXPECT_EQ(restarts, 0);
}

TEST_F(SystemSettingsTest, ChoosingAnotherAdapterWritesTheThreeKeysAndRestarts) {
  ASSERT_TRUE(CGlobalUtils::WriteNetConnSetting("Interface", "All"));
  Open(CSystemSettingDlg::kTabNetwork);
  Card()->setCurrentIndex(2);  // the user picks wlan0
  EXPECT_EQ(Shown(), "10.0.0.5" + kShownSep + "10.0.0.6");
  Card()->setCurrentIndex(0);
  EXPECT_EQ(Shown(), "192.168.1.1" + kShownSep + "10.0.0.5" + kShownSep + "10.0.0.6");
  Card()->setCurrentIndex(2);

  boxes->Queue(IDOK, "restart automatically");
  Click("btn_ok");
  EXPECT_EQ(restarts, 1);
  EXPECT_EQ(Setting("Interface"), "wlan0");  // the system's name, not the label
  EXPECT_EQ(Setting("AdapterName"), "wlan0");
  EXPECT_EQ(Setting("IP"), ("10.0.0.5" + kSep + "10.0.0.6").toStdString());
}

TEST_F(SystemSettingsTest, TranslatedAllIsStillStoredAsAll) {
  // The capture start knows only the word "All"; the list shows it in the user's language.
  WriteFile("Language/Deutsch.txt", "All=Alle\n");
  ASSERT_TRUE(CTranslateManager::GetInstance()->LoadLanguage(dir.filePath("Language/Deutsch.txt")));
  Open(CSystemSettingDlg::kTabNetwork);
  EXPECT_EQ(Card()->itemText(0), "Alle");
  boxes->Queue(IDOK, "restart automatically");
  Click("btn_cancel");
  EXPECT_EQ(restarts, 1);
  EXPECT_EQ(Setting("Interface"), "All");
}

TEST_F(SystemSettingsTest, AFailedNetworkWriteKeepsTheDialogOpenWithoutARestart) {
  Open(CSystemSettingDlg::kTabNetwork);
  WriteFile("config", "a file where the settings folder should be");
  Card()->setCurrentIndex(1);
  boxes->Queue(IDOK, "restart automatically");
  boxes->Queue(IDOK, "Failed to modify the network interface card.");
  Click("btn_ok");
  EXPECT_FALSE(Closed());
  EXPECT_EQ(restarts, 0);
}

TEST_F(SystemSettingsTest, NoAdaptersLeaveOnlyAllAndWriteNothing) {
  adapters.clear();
  ASSERT_TRUE(CGlobalUtils::WriteNetConnSetting("Interface", "All"));
  Open(CSystemSettingDlg::kTabNetwork);
  EXPECT_EQ(Items(Card()), QStringList({"All"}));
  EXPECT_EQ(Shown(), "");
  EXPECT_EQ(Setting("IP"), "");
}

}  // namespace
