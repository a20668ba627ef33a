#include "ui/staticip/set_static_ip_detail_dlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/batch_static_recorder.h"
#include "shell/global_utils.h"
#include "support/ui_driver.h"
#include "ui/framework/dialog_codes.h"
#include "ui/framework/notify_hub.h"
#include "ui/staticip/set_static_ip_detail_model.h"
#include "ui/staticip/static_ip_row_painter.h"

namespace {

using namespace batch_test;

// The progress dialog with its timers replaced: the test delivers the ticks and sees which
// timers the dialog starts and stops. Requests are recorded instead of sent.
class TestProgressDlg : public CSetStaticIPDetailDlg {
public:
  TestProgressDlg(std::vector<DEVICE_ENTRY_T> devices, Recorder* recorder)
      : CSetStaticIPDetailDlg(std::move(devices), nullptr, false, recorder->Sender()) {}

  void Tick(int id) { GetManager()->SendNotify(GetRoot(), QStringLiteral("timer"), id); }
  std::vector<int> running;  // timer ids now running

protected:
  void StartTimer(int id, int) override { running.push_back(id); }
  void StopTimer(int id) override { std::erase(running, id); }
};

class SetStaticIPDetailDlgTest : public testing::Test {
protected:
  void SetUp() override { boxes = std::make_unique<uitest::MessageBoxAnswers>(); }
  void TearDown() override {
    dlg.reset();
    boxes.reset();
  }
  void Open(const std::vector<DEVICE_ENTRY_T>& devices) {
    dlg = std::make_unique<TestProgressDlg>(devices, &recorder);
    ASSERT_TRUE(dlg->Create());
    dlg->show();
    QApplication::processEvents();
  }
  // A report as the control core delivers it: on its worker thread.
  void Report(const std::string& mac, const ItemList& items) {
    std::thread worker([&] { dlg->OnReportConfig(mac, "10.0.0.1", 8500, &items); });
    worker.join();
  }
  QString Status(int row) const {
    return QString::fromLatin1(BatchStatusText(dlg->Model()->RowAt(row)->GetStatus()));
  }
  QString Label(const char* name) const { return uitest::ReadLabel(dlg.get(), name); }

  std::unique_ptr<TestProgressDlg> dlg;
  Recorder recorder;
  std::vector<Sent>& requests = recorder.requests;
  std::vector<Sent>& updates = recorder.updates;
  std::unique_ptr<uitest::MessageBoxAnswers> boxes;
};

}  // namespace

TEST_F(SetStaticIPDetailDlgTest, AllReportedAtTheFirstTickSendsTheUpdatesThenAndPollsForTheType) {
  Open({Device("10.0.0.1", "021A2B000001"), Device("10.0.0.2", "021A2B000002")});
  EXPECT_EQ(requests.size(), 2u);
  EXPECT_EQ(dlg->running, std::vector<int>{2});
  EXPECT_EQ(Status(0), "Configuring");
  EXPECT_EQ(Label("lab_configuring_count"), "Configuring: 2");

  const ItemList six = FullReport("0", "10.0.0.99", "10.0.0.252");
  Report("021A2B000001", six);
  Report("021A2B000002", six);
  Report("021A2B000001", ShortReport());  // five items: does not replace the stored report
  dlg->Tick(2);
  ASSERT_EQ(updates.size(), 2u) << "the updates go at the first tick";
  EXPECT_EQ(updates[0].items[1], "Config.Network.LAN.StaticIP=10.0.0.1") << "the listed address";
  EXPECT_EQ(updates[0].items[5], "Config.Network.LAN.SecondaryDNS=10.0.0.252");
  EXPECT_EQ(dlg->running, std::vector<int>{1});

  requests.clear();
  dlg->Tick(1);
  EXPECT_EQ(requests.size(), 2u);
  Report("021a2b000002", {"Config.Network.LAN.Type=2"});
  EXPECT_TRUE(uitest::WaitUntil([&] { return Status(1) == "Success"; }))
      << "handed to the UI thread";
  EXPECT_EQ(Label("lab_success_count"), "Success: 1");
  EXPECT_EQ(Label("lab_device_count"), "Devices: 2");
}

// A device whose report has not come by the 21st tick does not hold the others back any longer;
// it is asked again on every poll and fails only when the polling ends.
TEST_F(SetStaticIPDetailDlgTest, OneSilentDeviceMeansUpdatesAtThe21stTickAndItsRowFailsAtTheEnd) {
  Open({Device("10.0.0.1", "021A2B000001"), Device("10.0.0.2", "021A2B000002")});
  Report("021A2B000001", FullReport());
  for (int tick = 1; tick <= 20; ++tick) dlg->Tick(2);
  EXPECT_TRUE(updates.empty());
  dlg->Tick(2);
  ASSERT_EQ(updates.size(), 1u);
  EXPECT_EQ(updates[0].items.back(), "Config.Network.LAN.SecondaryDNS=") << "sent empty";
  EXPECT_EQ(Status(1), "Configuring") << "still asked";
  EXPECT_EQ(Label("lab_failed_count"), "Failed: 0");

  for (int tick = 1; tick <= 16; ++tick) dlg->Tick(1);
  EXPECT_EQ(Status(0), "Failed");
  EXPECT_EQ(Status(1), "Failed");
  EXPECT_EQ(Label("lab_failed_count"), "Failed: 2");
  EXPECT_TRUE(dlg->running.empty());
  EXPECT_EQ(dlg->Model()->DumpText(),
            "Failed\t10.0.0.1\t02:1A:2B:00:00:01\tIM-700\tnever reported static\n"
            "Failed\t10.0.0.2\t02:1A:2B:00:00:02\tIM-700\tno answer before configure\n");
}

TEST_F(SetStaticIPDetailDlgTest, ClosingWhileARowConfiguresAsksFirst) {
  Open({Device("10.0.0.1", "021A2B000001")});
  boxes->Queue(IDNO, "The configuration is not completed.");
  ASSERT_TRUE(uitest::ClickControl(dlg.get(), "btn_ok"));
  EXPECT_TRUE(dlg->isVisible());
  EXPECT_EQ(dlg->running, std::vector<int>{2}) << "the timers keep running";

  boxes->Queue(IDYES, "Are you sure you want to close the pop-up window?");
  ASSERT_TRUE(uitest::ClickControl(dlg.get(), "closebtn"));
  EXPECT_FALSE(dlg->isVisible());
  EXPECT_EQ(dlg->result(), IDCANCEL);
  Report("021A2B000001", {"Config.Network.LAN.Type=2"});
  QApplication::processEvents();
  EXPECT_EQ(Status(0), "Configuring") << "no report acts on rows once the window closes";
}

TEST_F(SetStaticIPDetailDlgTest, OkClosesAtOnceWhenEveryRowHasFinished) {
  Open({Device("10.0.0.1", "021A2B000001")});
  for (int tick = 1; tick <= 21; ++tick) dlg->Tick(2);
  for (int tick = 1; tick <= 16; ++tick) dlg->Tick(1);
  ASSERT_EQ(Status(0), "Failed");
  ASSERT_TRUE(uitest::ClickControl(dlg.get(), "btn_ok"));  // no box expected
  EXPECT_FALSE(dlg->isVisible());
  EXPECT_EQ(dlg->result(), IDOK);
}

// The rows show every MAC in the main list's spelling, while the requests and updates go out
// with the device's own text (the device answers to that).
TEST_F(SetStaticIPDetailDlgTest, RowsShowTheListSpellingAndRequestsKeepTheDevicesOwn) {
  const std::string own[] = {"021a2b00000c", "02-1a-2b-00-00-0d", "02:1a:2B:00:00:0E"};
  Open({Device("10.0.0.1", own[0]), Device("10.0.0.2", own[1]), Device("10.0.0.3", own[2])});
  const QString shown[] = {"02:1A:2B:00:00:0C", "02:1A:2B:00:00:0D", "02:1A:2B:00:00:0E"};
  ASSERT_EQ(requests.size(), 3u);
  for (int row = 0; row < 3; ++row) {
    const QModelIndex index = dlg->Model()->index(row);
    const int macRole = CStaticIpRowPainter::PartRole(CSetStaticIPDetailModel::kMac);
    EXPECT_EQ(dlg->Model()->data(index, macRole).toString(), shown[row]);
    EXPECT_EQ(requests[static_cast<size_t>(row)].mac, own[row]);
  }
}
