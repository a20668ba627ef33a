// The main window as an installer types into it: the list follows the search box, a MAC is
// found in any spelling, the footer counts what is online and what is shown, every MAC is
// shown in one spelling, and the model filter offers what the devices report.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <memory>
#include <string>
#include <vector>

#include "core/control/control.h"
#include "core/control/control_outbound_hooks.h"
#include "support/ui_driver.h"
#include "ui/main/device_list_model.h"
#include "ui/main/main_wnd.h"
#include "ui/main/model_combo.h"

namespace {

DEVICE_ENTRY_T Dev(const std::string& ip, const std::string& mac, const std::string& model) {
  return DEVICE_ENTRY_T{ip, mac, mac, model, "1-1", "29.30.1.2"};
}

class MainWindowSearch : public testing::Test {
protected:
  void SetUp() override {
    CMainWnd::SetStartupHook([](CMainWnd*) {});
    CModelCombo::SetCatalogReader([] {
      return std::map<std::string, std::string>{{"IM-700", "29"}, {"DS-410", "30"}};
    });
    OutboundHooks hooks;
    hooks.send = [](const PACKET_RECORD_T*) {};
    SetOutboundHooks(hooks);
    CControl::GetInstance()->ClearDevices();
    // Four spellings of a MAC, as devices report them.
    for (const DEVICE_ENTRY_T& d :
         {Dev("10.0.0.1", "021A2B000001", "IM-700"), Dev("10.0.0.2", "02:1a:2b:00:00:02", "IM-700"),
          Dev("10.0.0.3", "02-1A-2B-00-00-0D", "DS-410"),
          Dev("10.0.0.4", "021a2b000007", "Lobby Panel X")}) {
      CControl::GetInstance()->UpdateDevice(d);
    }
    wnd = std::make_unique<CMainWnd>();
    ASSERT_TRUE(wnd->Create());
    wnd->show();
    wnd->RefreshDeviceList();
    model = wnd->GetDeviceListModel();
    search = wnd->GetRoot()->findChild<QLineEdit*>("edit_search");
    ASSERT_NE(search, nullptr);
  }
  void TearDown() override {
    wnd.reset();
    CMainWnd::SetStartupHook({});
    CModelCombo::SetCatalogReader({});
    SetOutboundHooks({});
    CControl::GetInstance()->ClearDevices();
  }

  std::vector<std::string> Ips() const {
    std::vector<std::string> ips;
    for (int i = 0; i < model->Count(); ++i) ips.push_back(model->RowAt(i)->Device().ip);
    return ips;
  }
  QString Footer() const { return uitest::ReadLabel(wnd.get(), "lab_device_count"); }

  // Types like a person: one character at a time into the focused box.
  void Type(const QString& text) {
    for (QChar c : text) search->insert(QString(c));
  }

  std::unique_ptr<CMainWnd> wnd;
  CDeviceListModel* model = nullptr;
  QLineEdit* search = nullptr;
};

TEST_F(MainWindowSearch, TheListFollowsTheTypingAfterAShortPauseAndTheClearButtonRestoresIt) {
  Type("10.0.0.3");
  EXPECT_EQ(model->Count(), 4);  // nothing yet while the typing goes on
  ASSERT_TRUE(uitest::WaitUntil([&] { return model->Count() == 1; }, 2000));
  EXPECT_EQ(Ips(), std::vector<std::string>{"10.0.0.3"});
  EXPECT_EQ(Footer(), QString::fromUtf8("Online devices: 4  \u00B7  1 shown"));

  search->clear();               // what the box's × does
  EXPECT_EQ(model->Count(), 4);  // at once
  EXPECT_EQ(Footer(), "Online devices: 4");

  // The Search button and Enter still search, without the pause.
  search->setText("IM-700");
  ASSERT_TRUE(uitest::ClickControl(wnd.get(), "btn_search"));
  EXPECT_EQ(model->Count(), 2);
  search->setText("DS-410");
  uitest::PressKey(search, Qt::Key_Return);
  EXPECT_EQ(model->Count(), 1);
}

TEST_F(MainWindowSearch, AMacIsFoundInAnySpellingAndShownInOne) {
  const struct {
    const char* typed;
    const char* ip;
  } cases[] = {
      {"02:1a:2b:00:00:07", "10.0.0.4"}, {"021a2b000001", "10.0.0.1"},
      {"02-1A-2B-00-00-02", "10.0.0.2"}, {"2b:00:00:0d", "10.0.0.3"},
      {"021A2B00000D", "10.0.0.3"},
  };
  for (const auto& c : cases) {
    search->setText(QString::fromLatin1(c.typed));
    uitest::PressKey(search, Qt::Key_Return);
    EXPECT_EQ(Ips(), std::vector<std::string>{c.ip}) << c.typed;
  }
  search->clear();
  QStringList shown;
  for (int i = 0; i < model->Count(); ++i) shown << model->RowAt(i)->MacText();
  EXPECT_EQ(shown, QStringList({"02:1A:2B:00:00:01", "02:1A:2B:00:00:02", "02:1A:2B:00:00:0D",
                                "02:1A:2B:00:00:07"}));
  // The device's own text stays with the device: the core and the export keep it.
  EXPECT_EQ(model->RowAt(1)->Device().mac, "02:1a:2b:00:00:02");
}

TEST_F(MainWindowSearch, TheFooterCountsOnlineDevicesWhateverTheModelFilterHides) {
  auto* combo = wnd->GetRoot()->findChild<CModelCombo*>("combo_model");
  ASSERT_NE(combo, nullptr);
  combo->RebuildItems();
  combo->SelectByValue("DS-410", true);
  wnd->RefreshDeviceList();
  EXPECT_EQ(model->Count(), 1);
  EXPECT_EQ(Footer(), QString::fromUtf8("Online devices: 4  \u00B7  1 shown"));
}

TEST_F(MainWindowSearch, TheModelFilterOffersReportedModelsSortedAndPicksByKeyboard) {
  auto* combo = wnd->GetRoot()->findChild<CModelCombo*>("combo_model");
  ASSERT_NE(combo, nullptr);
  combo->showPopup();
  CModelComboDlg* drop = combo->GetDropDown();
  ASSERT_NE(drop, nullptr);
  ASSERT_TRUE(
      uitest::WaitUntil([&] { return drop->GetSearchBox() && drop->GetSearchBox()->hasFocus(); }));
  QStringList entries;
  for (int i = 0; i < combo->count(); ++i) entries << combo->itemData(i).toString();
  // "All", then the catalog's two models and the one only a device reports, sorted.
  EXPECT_EQ(entries, QStringList({"", "DS-410", "IM-700", "Lobby Panel X"}));

  QLineEdit* box = drop->GetSearchBox();
  box->setText("o");                            // only "Lobby Panel X" has an o
  EXPECT_EQ(drop->GetList()->currentRow(), 3);  // the first match is marked, not chosen
  EXPECT_TRUE(drop->isVisible());
  box->setText("");
  uitest::PressKey(box, Qt::Key_Down);  // past the last entry: stays
  uitest::PressKey(box, Qt::Key_Up);
  uitest::PressKey(box, Qt::Key_Up);
  EXPECT_EQ(drop->GetList()->currentRow(), 1);
  uitest::PressKey(box, Qt::Key_Return);
  EXPECT_EQ(combo->GetSelectedValue(), "DS-410");
  EXPECT_TRUE(uitest::WaitUntil([&] { return combo->GetDropDown() == nullptr; }));
  EXPECT_EQ(model->Count(), 1);
}

TEST_F(MainWindowSearch, ALongModelNameIsElidedWithTheWholeNameAsTooltip) {
  CControl::GetInstance()->UpdateDevice(
      Dev("10.0.0.9", "021A2B000009", "DS-410 Apartment Door Station Wide Angle"));
  auto* combo = wnd->GetRoot()->findChild<CModelCombo*>("combo_model");
  combo->RebuildItems();
  combo->SelectByValue("DS-410 Apartment Door Station Wide Angle", false);
  combo->setFixedWidth(150);
  QApplication::processEvents();
  combo->grab();  // paints it
  EXPECT_EQ(combo->toolTip(), "DS-410 Apartment Door Station Wide Angle");
  combo->SelectByValue("DS-410", false);
  combo->grab();
  EXPECT_EQ(combo->toolTip(), "");
}

}  // namespace
