// The first start: a welcome line over the adapter choice, adapters named with their addresses
// and prefix lengths, and a choice that sticks whichever way the dialog is left, also for an
// adapter without IPv4 address.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

#include "shell/global_utils.h"
#include "support/ui_driver.h"
#include "ui/framework/message_box.h"
#include "ui/main/main_wnd.h"
#include "ui/settings/system_network_view.h"
#include "ui/settings/system_setting_dlg.h"

namespace {

AdapterEntry Adapter(const std::string& name, std::vector<std::string> addresses) {
  AdapterEntry entry;
  entry.szAdapterName = name;
  entry.szDescription = name + " (virtual)";
  entry.ipAddresses = std::move(addresses);
  return entry;
}

class FirstStart : public testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    CGlobalUtils::SetModuleDirForTesting(dir.path().toStdString());
    // The loopback adapter is real, so its prefix comes from the system; "tap9" has no IPv4.
    adapters = {Adapter("lo", {"127.0.0.1"}), Adapter("tap9", {})};
    CSystemNetworkView::SetAdapterSource([this] { return adapters; });
    CSystemNetworkView::SetRestartHook([this] { ++restarts; });
  }
  void TearDown() override {
    dlg.reset();
    CSystemNetworkView::SetAdapterSource({});
    CSystemNetworkView::SetRestartHook({});
    CGlobalUtils::SetModuleDirForTesting("");
  }
  void Open() {
    dlg = std::make_unique<CSystemSettingDlg>(nullptr, CSystemSettingDlg::kTabNetwork);
    ASSERT_TRUE(dlg->Create());
    dlg->show();
    QApplication::processEvents();
  }
  QComboBox* Card() { return dlg->GetNetworkView()->GetAdapterCombo(); }
  bool WelcomeShown() {
    auto* welcome = dlg->FindControl<QLabel>(QStringLiteral("lab_welcome"));
    return welcome && welcome->isVisibleTo(dlg.get());
  }
  std::string Setting(const char* key) { return CGlobalUtils::ReadNetConnSetting(key, 2048); }

  QTemporaryDir dir;
  std::vector<AdapterEntry> adapters;
  int restarts = 0;
  std::unique_ptr<CSystemSettingDlg> dlg;
};

TEST_F(FirstStart, WelcomesAndNamesEachAdapterWithItsAddressesAndPrefix) {
  Open();
  EXPECT_TRUE(WelcomeShown());
  EXPECT_EQ(Card()->itemText(1), "lo (virtual)  127.0.0.1/8");
  EXPECT_EQ(Card()->itemText(2), "tap9 (virtual)  (no IPv4 address)");
}

// An adapter without IPv4 address saves no address: its name is what makes the choice stick,
// so the question does not come back at the next start, and the tab shows it chosen.
TEST_F(FirstStart, AnAdapterWithoutIpv4StaysChosen) {
  Open();
  Card()->setCurrentIndex(2);
  uitest::MessageBoxAnswers boxes;
  boxes.Queue(IDOK, "restart automatically");
  ASSERT_TRUE(uitest::ClickControl(dlg->GetTabLayout()->currentWidget(), "btn_ok"));
  EXPECT_EQ(restarts, 1);
  EXPECT_EQ(Setting("Interface"), "tap9");
  EXPECT_EQ(Setting("AdapterName"), "tap9");
  EXPECT_EQ(Setting("IP"), "");
  EXPECT_FALSE(CMainWnd::AdapterChoiceNeeded(2, Setting("IP"), Setting("Interface")));

  Open();
  EXPECT_FALSE(WelcomeShown());
  EXPECT_EQ(Card()->currentIndex(), 2);
}

// The dialog's × before any choice: the network tab's Cancel, which keeps what is shown (after
// the restart question), instead of leaving nothing saved for the next start to ask again.
TEST_F(FirstStart, TheCloseButtonKeepsTheShownChoice) {
  Open();
  uitest::MessageBoxAnswers boxes;
  boxes.Queue(IDCANCEL, "restart automatically");
  ASSERT_TRUE(uitest::ClickControl(dlg.get(), "closebtn"));
  EXPECT_TRUE(dlg->isVisible());  // the question was declined: still choosing
  boxes.Queue(IDOK, "restart automatically");
  ASSERT_TRUE(uitest::ClickControl(dlg.get(), "closebtn"));
  EXPECT_EQ(restarts, 1);
  EXPECT_EQ(Setting("Interface"), "All");
}

}  // namespace
