#include "ui/staticip/set_static_ip_dlg.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QListView>
#include <memory>
#include <string>
#include <vector>

#include "core/control/control.h"
#include "core/control/control_outbound_hooks.h"
#include "support/sort_arrow.h"
#include "support/ui_driver.h"
#include "ui/framework/dialog_codes.h"
#include "ui/staticip/set_static_ip_list_model.h"

namespace {

DEVICE_ENTRY_T Dev(const std::string& ip, const std::string& mac, const std::string& model) {
  return DEVICE_ENTRY_T{ip, mac, mac, model, "1-0101", "105.30.1.1"};
}

// The refresh runs when the test says so, not on a timer.
class TestSelectDlg : public CSetStaticIPDlg {
public:
  TestSelectDlg() : CSetStaticIPDlg(nullptr, false) {}

protected:
  void StartRefreshTimer() override {}
};

class SetStaticIPDlgTest : public testing::Test {
protected:
  void SetUp() override {
    OutboundHooks hooks;
    hooks.send = [this](const PACKET_RECORD_T*) { ++discoveries; };
    SetOutboundHooks(hooks);
    CControl::GetInstance()->ClearDevices();
    boxes = std::make_unique<uitest::MessageBoxAnswers>();
  }
  void TearDown() override {
    dlg.reset();
    boxes.reset();
    SetOutboundHooks({});
    CControl::GetInstance()->ClearDevices();
  }

  void Open(const std::vector<DEVICE_ENTRY_T>& devices) {
    Add(devices);
    dlg = std::make_unique<TestSelectDlg>();
    ASSERT_TRUE(dlg->Create());
    dlg->show();
    QApplication::processEvents();
    model = dlg->Model();
  }
  void Add(const std::vector<DEVICE_ENTRY_T>& devices) {
    for (const auto& d : devices) CControl::GetInstance()->UpdateDevice(d);
  }
  void Click(const char* name) { ASSERT_TRUE(uitest::ClickControl(dlg.get(), name)) << name; }
  QAbstractButton* CheckAll() const {
    return dlg->findChild<QAbstractButton*>(QStringLiteral("checkbox_all"));
  }
  QString Arrow(const char* name) const { return uitest::SortArrowState(dlg.get(), name); }
  std::vector<std::string> Macs() const {
    std::vector<std::string> macs;
    for (int i = 0; i < model->Count(); ++i) macs.push_back(model->RowAt(i)->Device().mac);
    return macs;
  }
  // Clicks the middle of a row, as a user ticks or unticks it.
  void ClickRow(int row) {
    auto* view = dlg->findChild<QListView*>(QStringLiteral("list_device"));
    const QRect rect = view->visualRect(model->index(row));
    ASSERT_TRUE(rect.isValid()) << row;
    uitest::ClickAt(view->viewport(), rect.center());
  }

  std::unique_ptr<TestSelectDlg> dlg;
  CSetStaticIPListModel* model = nullptr;
  std::unique_ptr<uitest::MessageBoxAnswers> boxes;
  int discoveries = 0;
};

}  // namespace

TEST_F(SetStaticIPDlgTest, SortsNumericallyByIpThenByModelWithTheMacAsTieBreak) {
  Open({Dev("10.0.0.10", "02:00:00:00:00:01", "beta"),
        Dev("10.0.0.9", "02:00:00:00:00:02", "Alpha"),
        Dev("not-an-ip", "02:00:00:00:00:05", "beta"), Dev("", "02:00:00:00:00:04", "alpha")});
  // IP ascending on opening: 10.0.0.9 before 10.0.0.10; invalid addresses go by MAC.
  EXPECT_EQ(Macs(), (std::vector<std::string>{"02:00:00:00:00:02", "02:00:00:00:00:01",
                                              "02:00:00:00:00:04", "02:00:00:00:00:05"}));
  EXPECT_EQ(Arrow("img_ip_sort"), "ascending");
  EXPECT_EQ(Arrow("img_model_sort"), "unsorted");

  Click("btn_ip_sort");
  EXPECT_EQ(Macs().front(), "02:00:00:00:00:01") << "descending: 10.0.0.10 first";
  EXPECT_EQ(Arrow("img_ip_sort"), "descending");
  Click("btn_ip_sort");
  EXPECT_EQ(Macs().front(), "02:00:00:00:00:02");

  // Model ascending ignoring case; equal models by MAC, ascending in both directions.
  Click("btn_model_sort");
  EXPECT_EQ(Macs(), (std::vector<std::string>{"02:00:00:00:00:02", "02:00:00:00:00:04",
                                              "02:00:00:00:00:01", "02:00:00:00:00:05"}));
  EXPECT_EQ(Arrow("img_ip_sort"), "unsorted");
  EXPECT_EQ(Arrow("img_model_sort"), "ascending");
  Click("btn_model_sort");
  EXPECT_EQ(Macs(), (std::vector<std::string>{"02:00:00:00:00:01", "02:00:00:00:00:05",
                                              "02:00:00:00:00:02", "02:00:00:00:00:04"}));
  EXPECT_EQ(dlg->findChild<QLabel*>(QStringLiteral("lab_device_count"))->text(), "Devices: 4");
}

TEST_F(SetStaticIPDlgTest, RefreshUpdatesARowWhoseMacDiffersOnlyInCaseAndKeepsGoneDevices) {
  Open({Dev("10.0.0.1", "02:1a:2b:00:00:01", "IM-700"), Dev("10.0.0.2", "021A2B000002", "IM-700")});
  // The core keys its table by the exact text: this is a second entry for the same device.
  Add({Dev("10.0.0.50", "02:1A:2B:00:00:01", "IM-720")});
  CControl::GetInstance()->RemoveDevice("021A2B000002");
  dlg->RefreshDeviceList();
  ASSERT_EQ(model->Count(), 2);
  const int row = model->FindRow("02:1a:2b:00:00:01");
  ASSERT_GE(row, 0);
  EXPECT_EQ(model->RowAt(row)->Device().ip, "10.0.0.50");
  EXPECT_EQ(model->RowAt(row)->Device().model, "IM-720");
  EXPECT_GE(model->FindRow("021A2B000002"), 0) << "rows of devices gone from the table stay";
}

TEST_F(SetStaticIPDlgTest, SelectAllFollowsTheRowsAndDecidesHowNewRowsArrive) {
  Open({Dev("10.0.0.1", "02:00:00:00:00:01", "M"), Dev("10.0.0.2", "02:00:00:00:00:02", "M")});
  ASSERT_TRUE(CheckAll()->isChecked());
  EXPECT_EQ(model->CheckedCount(), 2) << "rows arrive as the select-all box is";

  ClickRow(1);
  EXPECT_FALSE(model->RowAt(1)->IsChecked());
  EXPECT_FALSE(CheckAll()->isChecked()) << "one unticked row clears select-all";
  ClickRow(1);
  EXPECT_TRUE(CheckAll()->isChecked()) << "ticking the last unticked row sets it again";

  Click("checkbox_all");
  EXPECT_EQ(model->CheckedCount(), 0);
  Add({Dev("10.0.0.3", "02:00:00:00:00:03", "M")});
  dlg->RefreshDeviceList();
  EXPECT_FALSE(model->RowAt(model->FindRow("02:00:00:00:00:03"))->IsChecked());

  // Refresh: the table and the list are emptied, a discovery goes out, rows come back ticked.
  const int before = discoveries;
  Click("btn_refresh");
  EXPECT_EQ(discoveries, before + 1);
  EXPECT_EQ(model->Count(), 0);
  EXPECT_TRUE(CheckAll()->isChecked());
  EXPECT_FALSE(model->AllChecked()) << "an empty list is not all checked";
  Add({Dev("10.0.0.4", "02:00:00:00:00:04", "M")});
  dlg->RefreshDeviceList();
  ASSERT_EQ(model->Count(), 1);
  EXPECT_TRUE(model->RowAt(0)->IsChecked());
}

TEST_F(SetStaticIPDlgTest, OkReturnsTheTickedDevicesInScreenOrderOrAsksForOne) {
  Open({Dev("10.0.0.1", "02:00:00:00:00:01", "M"), Dev("10.0.0.2", "02:00:00:00:00:02", "M"),
        Dev("10.0.0.3", "02:00:00:00:00:03", "M")});
  Click("checkbox_all");
  boxes->Queue(IDOK, "Please select the devices to set as static IP.");
  Click("btn_ok");
  EXPECT_TRUE(dlg->isVisible()) << "the dialog stays open";
  EXPECT_TRUE(dlg->GetSelectedDevices().empty());

  Click("btn_ip_sort");  // descending: .3, .2, .1 on screen
  ClickRow(0);
  ClickRow(2);
  Click("btn_ok");
  EXPECT_EQ(dlg->result(), IDOK);
  const std::vector<DEVICE_ENTRY_T> chosen = dlg->GetSelectedDevices();
  ASSERT_EQ(chosen.size(), 2u);
  EXPECT_EQ(chosen[0].ip, "10.0.0.3");
  EXPECT_EQ(chosen[1].ip, "10.0.0.1");
}

TEST_F(SetStaticIPDlgTest, CancelAndTheCloseButtonEndWithCancel) {
  for (const char* button : {"btn_cancel", "closebtn"}) {
    Open({Dev("10.0.0.1", "02:00:00:00:00:01", "M")});
    Click(button);
    EXPECT_FALSE(dlg->isVisible()) << button;
    EXPECT_EQ(dlg->result(), IDCANCEL) << button;
    EXPECT_TRUE(dlg->GetSelectedDevices().empty());
    dlg.reset();
  }
}

// Every row shows its MAC in the main list's spelling; the chosen devices handed on keep the
// device's own text, which the batch sends and the records keep.
TEST_F(SetStaticIPDlgTest, RowsShowTheListSpellingAndTheChoiceKeepsTheDevicesOwn) {
  Open({Dev("10.0.0.1", "021a2b00000c", "M"), Dev("10.0.0.2", "02-1a-2b-00-00-0d", "M")});
  ASSERT_EQ(model->Count(), 2);
  const QStringList lines = model->DumpText().split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 2);
  EXPECT_EQ(lines[0].section('\t', 2, 2), "02:1A:2B:00:00:0C");
  EXPECT_EQ(lines[1].section('\t', 2, 2), "02:1A:2B:00:00:0D");
  model->SetAllChecked(true, false);
  std::vector<std::string> chosen;
  for (const DEVICE_ENTRY_T& d : model->CheckedDevices()) chosen.push_back(d.mac);
  EXPECT_EQ(chosen, (std::vector<std::string>{"021a2b00000c", "02-1a-2b-00-00-0d"}));
}
