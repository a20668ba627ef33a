// The batch upgrade window over the real control core, without capture: requests are counted
// instead of sent, and the devices never answer, so each one ends by the rollout's time limit.
#include "ui/upgrade/batch_upgrade_dlg.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QTableWidget>
#include <atomic>
#include <memory>

#include "core/control/control.h"
#include "core/control/control_outbound_hooks.h"
#include "protocol/msg_header.h"
#include "protocol/packet_record.h"
#include "support/ui_driver.h"
#include "ui/framework/message_box.h"

namespace {

using namespace std::chrono_literals;

DEVICE_ENTRY_T Device(int n, const std::string& firmware) {
  const std::string mac = "021A2B00000" + std::to_string(n);
  return DEVICE_ENTRY_T{"10.213.1." + std::to_string(n), mac, mac, "IM-700", "1-01", firmware};
}

bool Visible(QWidget* dlg, const char* name) {
  auto* w = dlg->findChild<QWidget*>(name);
  return w && w->isVisible();
}

QString Cell(QWidget* dlg, const char* table, int row, int column) {
  auto* t = dlg->findChild<QTableWidget*>(table);
  return t && t->item(row, column) ? t->item(row, column)->text() : QStringLiteral("<none>");
}

class BatchUpgradeDlgTest : public testing::Test {
protected:
  void SetUp() override {
    OutboundHooks hooks;
    hooks.send = [this](const PACKET_RECORD_T* p) {
      if ((p->data[4] | ((p->data[5] & 0x0F) << 8)) == MSG_UPGRADE_SEND) ++sent;
    };
    SetOutboundHooks(hooks);
    CBatchUpgradeDlg::SetRolloutOptionsHook([](RolloutOptions& options) {
      options.timeout = 1500ms;
      options.checkPeriod = 100ms;
    });
    boxes = std::make_unique<uitest::MessageBoxAnswers>();
  }
  void TearDown() override {
    boxes.reset();
    CBatchUpgradeDlg::SetRolloutOptionsHook({});
    SetOutboundHooks({});
  }
  std::atomic<int> sent{0};
  std::unique_ptr<uitest::MessageBoxAnswers> boxes;
};

TEST_F(BatchUpgradeDlgTest, CancelAsksThenStartsNoFurtherDeviceAndTheRunningOneEnds) {
  // Device 4 is of another family and left out; device 3 is already on the version.
  CBatchUpgradeDlg dlg({Device(1, "29.30.1.1"), Device(2, "29.30.1.1"), Device(3, "29.40.1.1"),
                        Device(4, "105.30.1.1")},
                       QStringLiteral("29.40.1.1.rom"), nullptr);
  uitest::WhenModalShown([&](QWidget* shown) {
    EXPECT_EQ(Cell(shown, "table_incompatible", 0, 3), "105.30.1.1");
    auto* parallel = shown->findChild<QWidget*>("spin_parallel");
    ASSERT_NE(parallel, nullptr);
    EXPECT_EQ(parallel->property("value").toInt(), CBatchUpgradeDlg::kDefaultParallel);
    parallel->setProperty("value", 1);
    ASSERT_TRUE(uitest::ClickControl(shown, "btn_start"));
    ASSERT_TRUE(uitest::WaitUntil([&] { return Cell(shown, "table_run", 0, 5) == "Upgrading"; }));
    // No: the run goes on. Yes: device 2 is never sent; device 1 runs to its end.
    boxes->Queue(IDNO, "Stop the upgrade?");
    ASSERT_TRUE(uitest::ClickControl(shown, "btn_cancel"));
    EXPECT_EQ(Cell(shown, "table_run", 1, 5), "Waiting");
    boxes->Queue(IDYES, "Stop the upgrade?");
    ASSERT_TRUE(uitest::ClickControl(shown, "closebtn"));
    EXPECT_TRUE(shown->isVisible());
    ASSERT_TRUE(uitest::WaitUntil([&] { return Visible(shown, "btn_ok"); }, 10000));
    EXPECT_EQ(Cell(shown, "table_run", 0, 5), "Timed out");
    EXPECT_EQ(Cell(shown, "table_run", 1, 5), "Not sent");
    EXPECT_EQ(Cell(shown, "table_run", 2, 5), "Skipped");
    EXPECT_EQ(uitest::ReadLabel(shown, "lab_counts"),
              "Completed: 0   Failed: 2   Running: 0   Waiting: 0   Skipped: 1   —   Finished");
    EXPECT_TRUE(Visible(shown, "btn_retry"));
    uitest::ClickControl(shown, "btn_ok");
  });
  EXPECT_EQ(dlg.DoModal(), IDOK);
  EXPECT_EQ(sent.load(), 1);            // device 1 only
  ASSERT_EQ(dlg.Results().size(), 3u);  // the incompatible device is not in the run
}

}  // namespace
