#include "ui/upgrade/upgrade_dlg.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/control/control.h"
#include "core/control/control_outbound_hooks.h"
#include "protocol/msg_header.h"
#include "protocol/packet_record.h"
#include "shell/global_utils.h"
#include "support/ui_driver.h"
#include "ui/framework/message_box.h"
#include "ui/main/device_list_view.h"
#include "ui/main/main_wnd.h"

namespace {

constexpr const char* kMac = "021A2B000005";

DEVICE_ENTRY_T Device(const std::string& firmware, const std::string& mac = kMac) {
  return DEVICE_ENTRY_T{"10.213.1.5", mac, "061A2B000005", "IM-700", "1-0105", firmware};
}

// Boot-ups come from the core's worker thread; here from a thread of the test's own.
void BootUpFromAnotherThread(const std::string& key) {
  std::thread([key] {
    CControl::GetInstance()->ForEachNotify(
        [&](IControlNotify* notify) { notify->OnDeviceBootUp(key); });
  }).join();
}

class UpgradeDlgTest : public testing::Test {
protected:
  void SetUp() override {
    OutboundHooks hooks;
    hooks.send = [this](const PACKET_RECORD_T* p) { sent.push_back(*p); };
    SetOutboundHooks(hooks);
    CControl::GetInstance()->ClearDevices();
    CControl::GetInstance()->UpdateDevice(Device("29.30.1.1"));
    boxes = std::make_unique<uitest::MessageBoxAnswers>();
  }
  void TearDown() override {
    boxes.reset();
    SetOutboundHooks({});
    CControl::GetInstance()->ClearDevices();
  }

  // One 10-second check, as the dialog's timer delivers it.
  static void Check(CUpgradeDlg& dlg) {
    TNotifyMsg msg;
    msg.sType = QString::fromLatin1(kNotifyTimer);
    msg.pSender = dlg.GetRoot();
    msg.wParam = CUpgradeDlg::kCheckTimerId;
    dlg.DispatchNotify(msg);
  }
  static bool Visible(CUpgradeDlg& dlg, const char* name) {
    QWidget* w = dlg.FindControl(QString::fromLatin1(name));
    return w && w->isVisibleTo(dlg.GetRoot());
  }

  std::vector<PACKET_RECORD_T> sent;
  std::unique_ptr<uitest::MessageBoxAnswers> boxes;
};

TEST_F(UpgradeDlgTest, SendsTheRequestAndCompletesWhenTheTableShowsTheVersion) {
  CUpgradeDlg dlg(Device("29.30.1.1"), QStringLiteral("29.30.1.2.rom"), nullptr);
  ASSERT_TRUE(dlg.Create());
  ASSERT_EQ(sent.size(), 1u);
  const uint8_t work[6] = {0x06, 0x1A, 0x2B, 0x00, 0x00, 0x05};
  EXPECT_EQ(std::memcmp(sent[0].mac, work, 6), 0);
  EXPECT_EQ(sent[0].data[4] | ((sent[0].data[5] & 0x0F) << 8), MSG_UPGRADE_SEND);

  EXPECT_EQ(uitest::ReadLabel(&dlg, "lab_firmware"), "Firmware version: 29.30.1.2");
  EXPECT_EQ(uitest::ReadLabel(&dlg, "lab_desc"),
            "Upgrade in progress. Please wait for about 1 to 5 minutes.");
  EXPECT_FALSE(Visible(dlg, "btn_ok"));
  EXPECT_TRUE(Visible(dlg, "btn_cancel"));

  Check(dlg);
  EXPECT_EQ(dlg.GetState(), CUpgradeDlg::kStateInProgress);
  CControl::GetInstance()->UpdateDevice(Device("29.30.1.2"));
  Check(dlg);
  EXPECT_EQ(dlg.GetState(), CUpgradeDlg::kStateCompleted);
  EXPECT_EQ(uitest::ReadLabel(&dlg, "lab_desc"), "Upgrade completed.");
  EXPECT_TRUE(Visible(dlg, "btn_ok"));
  EXPECT_FALSE(Visible(dlg, "btn_cancel"));
}

TEST_F(UpgradeDlgTest, EndsFailedOrTimedOutWithTheirTexts) {
  {
    // Another device's boot-up (a reboot elsewhere on the site) does not end this upgrade.
    CUpgradeDlg dlg(Device("29.30.1.1"), QStringLiteral("29.30.1.2.rom"), nullptr);
    ASSERT_TRUE(dlg.Create());
    BootUpFromAnotherThread("021A2B0000FF");
    Check(dlg);
    EXPECT_EQ(dlg.GetState(), CUpgradeDlg::kStateInProgress);
    // Its own, by its work MAC in another spelling, does: it comes back on the old version.
    BootUpFromAnotherThread("06:1a:2b:00:00:05");
    Check(dlg);
    EXPECT_EQ(dlg.GetState(), CUpgradeDlg::kStateInProgress);  // out of the table until it answers
    CControl::GetInstance()->UpdateDevice(Device("29.30.1.1"));
    Check(dlg);
    EXPECT_EQ(dlg.GetState(), CUpgradeDlg::kStateFailed);
    EXPECT_EQ(uitest::ReadLabel(&dlg, "lab_desc"), "Upgrade failed. Please check the device.");
  }
  {
    CUpgradeDlg dlg(Device("29.30.1.1"), QStringLiteral("29.30.1.2.rom"), nullptr);
    ASSERT_TRUE(dlg.Create());
    for (int i = 0; i < 91; ++i) Check(dlg);
    EXPECT_EQ(dlg.GetState(), CUpgradeDlg::kStateInProgress);
    Check(dlg);
    EXPECT_EQ(dlg.GetState(), CUpgradeDlg::kStateTimedOut);
    EXPECT_EQ(uitest::ReadLabel(&dlg, "lab_desc"),
              "Upgrade failed due to timeout. Please check the device.");
  }
}

TEST_F(UpgradeDlgTest, CancelWhileInProgressAsksFirst) {
  CUpgradeDlg dlg(Device("29.30.1.1"), QStringLiteral("29.30.1.2.rom"), nullptr);
  bool stillOpen = false;
  uitest::WhenModalShown([&](QWidget* shown) {
    boxes->Queue(IDNO, "may be interrupted");
    uitest::ClickControl(shown, "btn_cancel");
    stillOpen = shown->isVisible();
    boxes->Queue(IDYES, "may be interrupted");
    uitest::ClickControl(shown, "closebtn");
  });
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  EXPECT_TRUE(stillOpen);
  EXPECT_EQ(boxes->Shown().size(), 2u);
  EXPECT_EQ(boxes->Shown()[0].title, "Upgrade");
}

TEST_F(UpgradeDlgTest, BootUpsWhileDialogsComeAndGoNeverReachAGoneDialog) {
  std::atomic<bool> stop{false};
  std::thread worker([&] {
    while (!stop) {
      CControl::GetInstance()->ForEachNotify(
          [](IControlNotify* notify) { notify->OnDeviceBootUp("021A2B0000FF"); });
    }
  });
  for (int i = 0; i < 200; ++i) {
    auto dlg =
        std::make_unique<CUpgradeDlg>(Device("29.30.1.1"), QStringLiteral("1.2.rom"), nullptr);
    dlg.reset();
  }
  stop = true;
  worker.join();
  SUCCEED();
}

// The row's upgrade button, from the file choice to the upgrade window and back.
class MainWndUpgradeTest : public UpgradeDlgTest {
protected:
  void SetUp() override {
    UpgradeDlgTest::SetUp();
    ASSERT_TRUE(module.isValid());
    CGlobalUtils::SetModuleDirForTesting(module.path().toStdString());
    CMainWnd::SetStartupHook([](CMainWnd*) {});
    CMainWnd::SetOpenFileHook([this](QWidget*) { return chosen; });
    wnd = std::make_unique<CMainWnd>();
    ASSERT_TRUE(wnd->Create());
    wnd->show();
    wnd->RefreshDeviceList();
  }
  void TearDown() override {
    wnd.reset();
    CMainWnd::SetOpenFileHook({});
    CMainWnd::SetStartupHook({});
    CGlobalUtils::SetModuleDirForTesting("");
    UpgradeDlgTest::TearDown();
  }
  QString Image(const QString& name, const QByteArray& content) {
    QDir().mkpath(images.path());
    QFile file(images.filePath(name));
    file.open(QIODevice::WriteOnly);
    file.write(content);
    return file.fileName();
  }
  static QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
  }
  void ClickUpgrade() { emit wnd->GetDeviceListView()->UpgradeClicked(0); }
  size_t UpgradeSends() const {
    return static_cast<size_t>(std::count_if(sent.begin(), sent.end(), [](const auto& p) {
      return (p.data[4] | ((p.data[5] & 0x0F) << 8)) == MSG_UPGRADE_SEND;
    }));
  }
  // Runs `action` on the upgrade window; the wait dialog of the copy comes first.
  void WhenUpgradeWindowShown(std::function<void(QWidget*)> action, QWidget* notThis = nullptr) {
    uitest::WhenModalShown(
        [this, action](QWidget* shown) {
          if (qobject_cast<CUpgradeDlg*>(shown)) {
            action(shown);
          } else {
            WhenUpgradeWindowShown(action, shown);
          }
        },
        10000, notThis ? notThis : wnd.get());
  }

  QTemporaryDir module;
  QTemporaryDir images;
  QString chosen;
  std::unique_ptr<CMainWnd> wnd;
};

TEST_F(MainWndUpgradeTest, CopiesTheImageThenRunsTheUpgradeWindow) {
  const QString target = module.filePath(QStringLiteral("Download/Rom/29.30.1.2.rom"));
  for (const QByteArray& content : {QByteArray("first image"), QByteArray("replacing image")}) {
    chosen = Image(QStringLiteral("29.30.1.2.rom"), content);
    boxes->Queue(IDYES, "Are you sure you want to upgrade?");
    QString firmware;
    WhenUpgradeWindowShown([&](QWidget* shown) {
      firmware = uitest::ReadLabel(shown, "lab_firmware");
      boxes->Queue(IDYES, "may be interrupted");
      uitest::ClickControl(shown, "closebtn");
    });
    ClickUpgrade();
    EXPECT_EQ(firmware, "Firmware version: 29.30.1.2");
    EXPECT_EQ(Read(target), content);  // a file of the same name is replaced
  }
  EXPECT_EQ(UpgradeSends(), 2u);
}

TEST_F(MainWndUpgradeTest, StopsQuietlyOrSaysTheCopyFailed) {
  chosen.clear();  // file dialog cancelled
  ClickUpgrade();
  chosen = Image(QStringLiteral("29.30.1.2.rom"), "image");
  boxes->Queue(IDNO, "Are you sure you want to upgrade?");
  ClickUpgrade();
  EXPECT_FALSE(QFile::exists(module.filePath(QStringLiteral("Download/Rom/29.30.1.2.rom"))));

  chosen = images.filePath(QStringLiteral("29.30.1.9.rom"));  // not there
  boxes->Queue(IDYES, "Are you sure you want to upgrade?");
  boxes->Queue(IDOK, "Copy file failed.");
  ClickUpgrade();
  EXPECT_EQ(boxes->Shown().size(), 3u);
  EXPECT_EQ(UpgradeSends(), 0u);
}

TEST_F(MainWndUpgradeTest, ConfirmationNamesDeviceFileAndVersionsAndWarnsOfAnotherFamily) {
  // The row's device: 10.213.1.5, IM-700, room 1-0105, firmware 29.30.1.1 (family 29).
  chosen = Image(QStringLiteral("29.30.1.2.rom"), "image");
  boxes->Queue(IDNO, "Are you sure you want to upgrade?");
  ClickUpgrade();
  ASSERT_EQ(boxes->Shown().size(), 1u);
  EXPECT_EQ(boxes->Shown()[0].text,
            "Are you sure you want to upgrade?\n\nDevice: 10.213.1.5, MAC 021A2B000005, IM-700, "
            "room 1-0105\nFile: 29.30.1.2.rom\nFirmware: 29.30.1.1 → 29.30.1.2");

  // An image of another family: the risk is named first, and No sends nothing.
  chosen = Image(QStringLiteral("105.40.1.1.rom"), "image");
  boxes->Queue(IDNO, "An image of another model family can leave a device unable to start.");
  ClickUpgrade();
  // Yes to the risk still leads to the confirmation.
  boxes->Queue(IDYES, "the model family 105; the device runs 29.30.1.1 of the family 29");
  boxes->Queue(IDNO, "Firmware: 29.30.1.1 → 105.40.1.1");
  ClickUpgrade();

  // A name whose address would not fit the request's field is refused before any copy.
  chosen = Image(QString(120, QLatin1Char('9')) + QStringLiteral(".rom"), "image");
  boxes->Queue(IDOK, "too long for the address");
  ClickUpgrade();
  EXPECT_EQ(boxes->Shown().size(), 5u);
  EXPECT_EQ(UpgradeSends(), 0u);
  EXPECT_TRUE(QDir(module.filePath(QStringLiteral("Download/Rom"))).isEmpty());
}

}  // namespace
