// The window's site record: the site name of the settings switches it live, the window's dialogs
// record their operations into it, and "Report…" writes the commissioning report from it.
#include "ui/main/window_site_record.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QWidget>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/batch_static_recorder.h"
#include "record/site_database.h"
#include "record/site_operation_log.h"
#include "record/site_paths.h"
#include "record/site_reader.h"
#include "shell/global_utils.h"
#include "support/ui_driver.h"
#include "ui/framework/dialog_codes.h"
#include "ui/framework/notify_hub.h"
#include "ui/framework/translate_manager.h"
#include "ui/framework/window_note.h"
#include "ui/main/window_report.h"
#include "ui/settings/system_language_view.h"
#include "ui/settings/system_setting_dlg.h"
#include "ui/staticip/set_static_ip_detail_dlg.h"
#include "ui/staticip/set_static_ip_detail_model.h"

namespace {

using namespace batch_test;

// A module folder of the test's own (settings file, sites/) with the window's record open on
// the site of the settings, as the main window opens it.
class WindowSiteRecordTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    CGlobalUtils::SetModuleDirForTesting(dir.path().toStdString());
    // One catalog, the one in force: OK of the settings changes no language.
    QDir(dir.path()).mkpath(QStringLiteral("Language"));
    QFile catalog(dir.filePath(QStringLiteral("Language/English.txt")));
    ASSERT_TRUE(catalog.open(QIODevice::WriteOnly));
    catalog.close();
    boxes = std::make_unique<uitest::MessageBoxAnswers>();
    record = std::make_unique<CWindowSiteRecord>(&window);
  }
  void TearDown() override {
    record.reset();
    boxes.reset();  // a box nobody expected, or an answer left over, fails the test
    CGlobalUtils::SetModuleDirForTesting("");
  }

  // The operations recorded in the site `name` so far.
  std::vector<SITE_OPERATION_ROW_T> Operations(const std::string& name) {
    record->Flush();
    std::string error;
    auto db = CSiteDatabase::OpenForReading(SiteDatabasePath(name), &error);
    if (!db) return {};
    return CSiteReader(*db).Operations(0);
  }
  static SITE_OPERATION_T Reboot(const std::string& mac) {
    return {ESiteOperation::kReboot, "window", {{"user", "admin"}}, {{mac, true, ""}}, 0};
  }

  QTemporaryDir dir;
  QWidget window;
  std::unique_ptr<uitest::MessageBoxAnswers> boxes;
  std::unique_ptr<CWindowSiteRecord> record;
};

class SiteNameSettingTest : public WindowSiteRecordTest {
protected:
  void Open() {
    dlg = std::make_unique<CSystemSettingDlg>(nullptr, CSystemSettingDlg::kTabLanguage);
    ASSERT_TRUE(dlg->Create());
    dlg->show();
    QApplication::processEvents();
  }
  QLineEdit* SiteEdit() { return dlg->GetLanguageView()->GetSiteNameEdit(); }
  void Ok() { ASSERT_TRUE(uitest::ClickControl(dlg->GetTabLayout()->currentWidget(), "btn_ok")); }
  void TearDown() override {
    dlg.reset();
    WindowSiteRecordTest::TearDown();
  }
  std::unique_ptr<CSystemSettingDlg> dlg;
};

}  // namespace

TEST_F(SiteNameSettingTest, ANewSiteNameIsStoredAndTheRecordSwitchesAtOnce) {
  Open();
  ASSERT_NE(SiteEdit(), nullptr);
  EXPECT_EQ(SiteEdit()->text(), "default");
  EXPECT_EQ(record->SiteName(), "default");
  RecordSiteOperation(Reboot("02:1A:2B:00:00:01"));

  SiteEdit()->setText(QStringLiteral("north-wing"));
  Ok();
  EXPECT_FALSE(dlg->isVisible());
  EXPECT_EQ(ReadSiteSetting(), "north-wing");
  EXPECT_EQ(record->SiteName(), "north-wing");
  EXPECT_TRUE(record->Recording());
  RecordSiteOperation(Reboot("02:1A:2B:00:00:02"));

  // What the old site had queued was written when it closed; the new one has only what came after.
  const auto before = Operations("default");
  ASSERT_EQ(before.size(), 1u);
  EXPECT_EQ(before[0].results.at(0).mac, "02:1A:2B:00:00:01");
  const auto after = Operations("north-wing");
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(after[0].results.at(0).mac, "02:1A:2B:00:00:02");
  EXPECT_EQ(after[0].source, "window");
}

TEST_F(SiteNameSettingTest, ANameTheCommandLineWouldRefuseKeepsTheDialogAndTheSite) {
  for (const char* bad : {"../etc", ".hidden", "two words", ""}) {
    Open();
    SiteEdit()->setText(QString::fromUtf8(bad));
    boxes->Queue(IDOK, "A site name has 1 to 64 letters");
    Ok();
    EXPECT_TRUE(dlg->isVisible()) << bad;
    EXPECT_EQ(ReadSiteSetting(), "default") << bad;
    EXPECT_EQ(record->SiteName(), "default") << bad;
  }
}

namespace {

// The batch static progress window, its requests recorded instead of sent and its timers ticked
// by the test.
class StaticProgressDlg : public CSetStaticIPDetailDlg {
public:
  StaticProgressDlg(std::vector<DEVICE_ENTRY_T> devices, Recorder* recorder)
      : CSetStaticIPDetailDlg(std::move(devices), nullptr, false, recorder->Sender()) {}
  void Tick(int id) { GetManager()->SendNotify(GetRoot(), QStringLiteral("timer"), id); }

protected:
  void StartTimer(int, int) override {}
  void StopTimer(int) override {}
};

}  // namespace

TEST_F(WindowSiteRecordTest, TheBatchStaticWindowRecordsEachDevicesResult) {
  Recorder sender;
  auto dlg = std::make_unique<StaticProgressDlg>(
      std::vector<DEVICE_ENTRY_T>{Device("10.0.0.1", "021A2B000001"),
                                  Device("10.0.0.2", "021A2B000002")},
      &sender);
  ASSERT_TRUE(dlg->Create());
  dlg->show();
  QApplication::processEvents();
  auto report = [&](const std::string& mac, const ItemList& items) {
    std::thread worker([&] { dlg->OnReportConfig(mac, "10.0.0.1", 8500, &items); });
    worker.join();
  };
  report("021A2B000001", FullReport());
  report("021A2B000002", FullReport());
  dlg->Tick(CBatchStaticRun::kWaitTimerId);
  ASSERT_EQ(sender.updates.size(), 2u);
  report("021A2B000001", {"Config.Network.LAN.Type=2"});
  ASSERT_TRUE(
      uitest::WaitUntil([&] { return dlg->Model()->RowAt(0)->GetStatus() == kBatchSuccess; }));
  for (int tick = 0; tick < 16; ++tick) dlg->Tick(CBatchStaticRun::kPollTimerId);
  ASSERT_TRUE(uitest::ClickControl(dlg.get(), "btn_ok"));
  EXPECT_TRUE(Operations("default").empty()) << "recorded as the window goes, with the final rows";
  dlg.reset();

  const auto operations = Operations("default");
  ASSERT_EQ(operations.size(), 1u);
  EXPECT_EQ(operations[0].kind, "static");
  EXPECT_EQ(operations[0].source, "window");
  ASSERT_EQ(operations[0].results.size(), 2u);
  EXPECT_EQ(operations[0].results[0].mac, "02:1A:2B:00:00:01");
  EXPECT_TRUE(operations[0].results[0].ok);
  EXPECT_EQ(operations[0].results[1].mac, "02:1A:2B:00:00:02");
  EXPECT_FALSE(operations[0].results[1].ok);
  EXPECT_EQ(operations[0].results[1].detail, "never reported static");
}

TEST_F(WindowSiteRecordTest, ReportWritesThePdfOfTheSiteAndNamesItInANote) {
  RecordSiteOperation(Reboot("02:1A:2B:00:00:01"));
  const QString path = dir.filePath(QStringLiteral("handover.pdf"));
  window.show();
  ASSERT_TRUE(WriteWindowReport(&window, path));
  QFile pdf(path);
  ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
  EXPECT_TRUE(pdf.read(5).startsWith("%PDF-"));
  QLabel* note = CurrentWindowNote(&window);
  ASSERT_NE(note, nullptr);
  EXPECT_TRUE(note->text().contains(QStringLiteral("handover.pdf"))) << note->text().toStdString();

  boxes->Queue(IDOK, "The report could not be written");
  EXPECT_FALSE(WriteWindowReport(&window, dir.filePath(QStringLiteral("missing/folder/r.pdf"))));
}

TEST(WindowReportName, SuggestsSiteAndDayAndAddsTheExtension) {
  EXPECT_EQ(ProposedReportName("north-wing", QDate(2026, 12, 10)),
            "ipscanner-report-north-wing-2026-12-10.pdf");
  EXPECT_EQ(ReportPathOf(QStringLiteral("/tmp/handover")), "/tmp/handover.pdf");
  EXPECT_EQ(ReportPathOf(QStringLiteral("/tmp/handover.PDF")), "/tmp/handover.PDF");
  EXPECT_EQ(ReportPathOf(QString()), QString());
}
