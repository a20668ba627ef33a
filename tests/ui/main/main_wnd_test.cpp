#include "ui/main/main_wnd.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QToolTip>
#include <memory>
#include <string>
#include <vector>

#include "core/common/op_clock.h"
#include "core/control/control.h"
#include "core/control/control_outbound_hooks.h"
#include "shell/global_utils.h"
#include "support/sort_arrow.h"
#include "support/ui_driver.h"
#include "ui/framework/message_box.h"
#include "ui/framework/translate_manager.h"
#include "ui/framework/window_note.h"
#include "ui/main/device_list_model.h"
#include "ui/main/device_list_view.h"
#include "ui/main/model_combo.h"

namespace {

DEVICE_ENTRY_T Dev(const std::string& ip, const std::string& mac, const std::string& model,
                   const std::string& room = "1-1", const std::string& fw = "29.30.1.2") {
  return DEVICE_ENTRY_T{ip, mac, mac, model, room, fw};
}

std::string ReadFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return "<missing>";
  return file.readAll().toStdString();
}

// A main window over the real control core's device table, without capture: discoveries are
// counted instead of sent, and message boxes are answered from a queue.
class MainWndTest : public testing::Test {
protected:
  void SetUp() override {
    CMainWnd::SetStartupHook([](CMainWnd*) {});
    OutboundHooks hooks;
    hooks.send = [this](const PACKET_RECORD_T*) { ++discoveries; };
    SetOutboundHooks(hooks);
    boxes = std::make_unique<uitest::MessageBoxAnswers>();
    CControl::GetInstance()->ClearDevices();
    wnd = std::make_unique<CMainWnd>();
    ASSERT_TRUE(wnd->Create());
    wnd->show();
    QApplication::processEvents();
    model = wnd->GetDeviceListModel();
  }

  void TearDown() override {
    wnd.reset();
    boxes.reset();  // a box nobody expected, or an answer left over, fails the test
    CMainWnd::SetStartupHook({});
    CMainWnd::SetSaveFileHook({});
    SetOutboundHooks({});
    CControl::GetInstance()->ClearDevices();
  }

  void Add(const std::vector<DEVICE_ENTRY_T>& devices) {
    for (const auto& d : devices) CControl::GetInstance()->UpdateDevice(d);
  }

  std::vector<std::string> Ips() const {
    std::vector<std::string> ips;
    for (int i = 0; i < model->Count(); ++i) ips.push_back(model->RowAt(i)->Device().ip);
    return ips;
  }

  template <class T = QWidget>
  T* Control(const char* name) const {
    return wnd->GetRoot()->findChild<T*>(QString::fromLatin1(name));
  }

  void Click(const char* name) { ASSERT_TRUE(uitest::ClickControl(wnd.get(), name)) << name; }

  // The boxes shown since the last call.
  std::vector<uitest::ShownBox> NewBoxes() {
    const auto& shown = boxes->Shown();
    std::vector<uitest::ShownBox> fresh(shown.begin() + static_cast<long>(seenBoxes), shown.end());
    seenBoxes = shown.size();
    return fresh;
  }

  QString Arrow(const char* name) const { return uitest::SortArrowState(wnd.get(), name); }

  std::unique_ptr<CMainWnd> wnd;
  CDeviceListModel* model = nullptr;
  int discoveries = 0;
  std::unique_ptr<uitest::MessageBoxAnswers> boxes;
  size_t seenBoxes = 0;
};

}  // namespace

TEST_F(MainWndTest, StartsEmptyWithOneDiscoveryAndIpAscending) {
  EXPECT_EQ(wnd->windowTitle(), "IP Scanner");
  EXPECT_EQ(model->Count(), 0);
  EXPECT_EQ(discoveries, 1);
  EXPECT_EQ(Control<QLabel>("lab_device_count")->text(), "Online devices: 0");
  QLabel* empty = wnd->GetDeviceListView()->EmptyLabel();
  EXPECT_TRUE(empty->isVisible());
  EXPECT_EQ(empty->text(), "Searching for devices...");  // the first discovery round runs
  Add({Dev("10.0.0.1", "02:00:00:00:00:01", "M")});
  wnd->RefreshDeviceList();
  EXPECT_FALSE(empty->isVisible());
  EXPECT_EQ(Arrow("img_ip_sort"), "ascending");
  EXPECT_EQ(Arrow("img_model_sort"), "unsorted");
}

TEST_F(MainWndTest, SortButtonsToggleAndResetEachOther) {
  Add({Dev("192.168.1.20", "02:00:00:00:00:01", "beta"),
       Dev("192.168.1.3", "02:00:00:00:00:02", "Alpha"),
       Dev("192.168.1.100", "02:00:00:00:00:03", "gamma")});
  wnd->RefreshDeviceList();
  EXPECT_EQ(Ips(), (std::vector<std::string>{"192.168.1.3", "192.168.1.20", "192.168.1.100"}));
  EXPECT_EQ(Control<QLabel>("lab_device_count")->text(), "Online devices: 3");

  Click("btn_ip_sort");
  EXPECT_EQ(Ips(), (std::vector<std::string>{"192.168.1.100", "192.168.1.20", "192.168.1.3"}));
  EXPECT_EQ(Arrow("img_ip_sort"), "descending");

  Click("btn_model_sort");
  EXPECT_EQ(Ips(), (std::vector<std::string>{"192.168.1.3", "192.168.1.20", "192.168.1.100"}));
  EXPECT_EQ(Arrow("img_ip_sort"), "unsorted");
  EXPECT_EQ(Arrow("img_model_sort"), "ascending");
  Click("btn_model_sort");
  EXPECT_EQ(Ips(), (std::vector<std::string>{"192.168.1.100", "192.168.1.20", "192.168.1.3"}));
  EXPECT_EQ(model->RowAt(0)->GetIndex(), 1u);
}

TEST(MainWndEmptyList, SaysWhyTheListIsEmpty) {
  const struct {
    bool firstRound;
    size_t known;
    const char* text;
  } cases[] = {
      {true, 0, "Searching for devices..."},
      {false, 0, "No online devices."},
      {true, 3, "No devices match the search or filter."},
      {false, 3, "No devices match the search or filter."},
  };
  for (const auto& c : cases)
    EXPECT_EQ(CMainWnd::EmptyListText(c.firstRound, c.known), c.text) << c.firstRound << c.known;
}

TEST_F(MainWndTest, EmptyListNamesTheSearchOrFilterThatHidesEveryDevice) {
  Add({Dev("10.0.0.1", "02:1A:2B:3C:4D:5E", "DS-210 Door Station")});
  Control<QLineEdit>("edit_search")->setText("no-such-device");
  Click("btn_search");
  QLabel* empty = wnd->GetDeviceListView()->EmptyLabel();
  EXPECT_TRUE(empty->isVisible());
  EXPECT_EQ(empty->text(), "No devices match the search or filter.");
}

TEST_F(MainWndTest, SearchFilterAndRefreshEmptyTheListFirst) {
  Add({Dev("10.0.0.1", "02:1A:2B:3C:4D:5E", "DS-210 Door Station"),
       Dev("10.0.0.2", "02:00:00:00:00:02", "IM-700 Indoor Monitor")});
  wnd->RefreshDeviceList();
  ASSERT_EQ(model->Count(), 2);

  Control<QLineEdit>("edit_search")->setText("1a:2b");
  EXPECT_EQ(model->Count(), 2) << "the box is read only by the search button";
  Click("btn_search");
  EXPECT_EQ(Ips(), (std::vector<std::string>{"10.0.0.1"}));
  EXPECT_EQ(wnd->GetSearchText(), "1A:2B");

  // A device leaving the table keeps its row until a handler empties the list.
  CControl::GetInstance()->RemoveDevice("02:1A:2B:3C:4D:5E");
  wnd->RefreshDeviceList();
  EXPECT_EQ(Ips(), (std::vector<std::string>{"10.0.0.1"}));

  Control<QLineEdit>("edit_search")->clear();
  uitest::PressKey(Control<QLineEdit>("edit_search"), Qt::Key_Return);  // Enter searches too
  EXPECT_EQ(Ips(), (std::vector<std::string>{"10.0.0.2"}));

  auto* combo = Control<CModelCombo>("combo_model");
  ASSERT_NE(combo, nullptr);
  combo->SelectByValue("DS-210 Door Station", true);  // "itemselect" empties and refills
  EXPECT_TRUE(Ips().empty());
  combo->SelectByValue("IM-700 Indoor Monitor", true);
  EXPECT_EQ(Ips(), (std::vector<std::string>{"10.0.0.2"}));

  Control<QLineEdit>("edit_search")->setText("zzz");
  int before = discoveries;
  Add({Dev("10.0.0.3", "02:00:00:00:00:03", "DS-210 Door Station")});
  Click("btn_refresh");  // "All", no search, the core's table cleared, a fresh discovery
  EXPECT_EQ(combo->GetSelectedValue(), "");
  EXPECT_EQ(Control<QLineEdit>("edit_search")->text(), "");
  EXPECT_EQ(discoveries, before + 1);
  EXPECT_EQ(model->Count(), 0);
  EXPECT_TRUE(CControl::GetInstance()->GetDeviceList().empty());
}

TEST_F(MainWndTest, CopyButtonsPutTheRowsTextsOnTheClipboard) {
  Add({Dev("10.0.0.7", "02:00:00:00:00:07", "M")});
  wnd->RefreshDeviceList();
  QApplication::processEvents();
  CDeviceListView* view = wnd->GetDeviceListView();
  ASSERT_NE(view, nullptr);
  uitest::ClickAt(view->View()->viewport(), view->PartRect(0, CDeviceRowPainter::kIpCopy).center());
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "10.0.0.7");
  uitest::ClickAt(view->View()->viewport(),
                  view->PartRect(0, CDeviceRowPainter::kMacCopy).center());
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "02:00:00:00:00:07");
}

// The row buttons without a mouse: Right and Left reach them on the current row, Space and
// Enter press them. A copy shows a short "Copied" next to its button.
TEST_F(MainWndTest, RowButtonsWorkFromTheKeyboardAndACopyIsConfirmed) {
  Add({Dev("10.0.0.7", "02:00:00:00:00:07", "M"), Dev("10.0.0.8", "02:00:00:00:00:08", "M")});
  wnd->RefreshDeviceList();
  QApplication::processEvents();
  QListView* list = wnd->GetDeviceListView()->View();
  list->setCurrentIndex(model->index(1));
  QGuiApplication::clipboard()->clear();
  uitest::PressKey(list, Qt::Key_Right);  // the IP copy button
  uitest::PressKey(list, Qt::Key_Space);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "10.0.0.8");
  EXPECT_TRUE(QToolTip::isVisible());
  EXPECT_EQ(QToolTip::text(), "Copied");
  uitest::PressKey(list, Qt::Key_Right);  // the MAC copy button
  uitest::PressKey(list, Qt::Key_Up);     // stays on it in the row above
  uitest::PressKey(list, Qt::Key_Return);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "02:00:00:00:00:07");
  uitest::PressKey(list, Qt::Key_Right);  // Upgrade: asks for the image file
  int fileDialogs = 0;
  CMainWnd::SetOpenFileHook([&](QWidget*) {
    ++fileDialogs;
    return QString();  // cancelled
  });
  uitest::PressKey(list, Qt::Key_Space);
  CMainWnd::SetOpenFileHook({});
  EXPECT_EQ(fileDialogs, 1);
  EXPECT_TRUE(NewBoxes().empty());
}

TEST_F(MainWndTest, ExportWritesTheListAsCsv) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  Add({Dev("192.168.1.20", "02:00:00:00:00:01", "DS-210", "1-2", "12.1.0.1"),
       Dev("192.168.1.3", "02:00:00:00:00:02", "IM-700", "3-4", "105.2.0.7")});
  wnd->RefreshDeviceList();

  QString chosen;
  int dialogs = 0;
  CMainWnd::SetSaveFileHook([&](QWidget*) {
    ++dialogs;
    return chosen;
  });
  const std::string expected =
      "Index,\"IP Address\",\"MAC Address\",\"Model\",\"Room Number\",\"Firmware Version\","
      "\"Status\",\"Problems\"\r\n"
      "1,\"192.168.1.3\",\"02:00:00:00:00:02\",\"IM-700\",\"3-4\",\"105.2.0.7\",\"\",\"\"\r\n"
      "2,\"192.168.1.20\",\"02:00:00:00:00:01\",\"DS-210\",\"1-2\",\"12.1.0.1\",\"\",\"\"\r\n";

  struct Case {
    const char* chosen;
    const char* written;
  } cases[] = {{"devices", "devices.csv"}, {"list.CsV", "list.CsV"}, {"old.txt", "old.txt.csv"}};
  for (const Case& c : cases) {
    chosen = dir.filePath(c.chosen);
    Click("btn_export");
    EXPECT_EQ(ReadFile(dir.filePath(c.written)), expected) << c.chosen;
    // The success is a note in the window that names the file, not a box to click away.
    QLabel* note = CurrentWindowNote(wnd.get());
    ASSERT_NE(note, nullptr) << c.chosen;
    EXPECT_TRUE(note->text().contains(dir.filePath(c.written))) << note->text().toStdString();
  }
  NewBoxes();

  // An existing file is covered only after a yes.
  QFile::remove(dir.filePath("devices.csv"));
  {
    QFile old(dir.filePath("devices.csv"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("keep");
  }
  chosen = dir.filePath("devices.csv");
  boxes->Queue(IDNO);
  Click("btn_export");
  EXPECT_EQ(ReadFile(chosen), "keep");
  auto shown = NewBoxes();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].title, "Confirmation");
  EXPECT_EQ(shown[0].text, "This file already exists, are you sure you want to cover it?");
  EXPECT_EQ(shown[0].buttons, MB_YESNO);
  boxes->Queue(IDYES, "cover it");
  Click("btn_export");
  EXPECT_EQ(ReadFile(chosen), expected);
  NewBoxes();

  // A cancelled dialog ends it silently; a folder that cannot be written says so.
  chosen.clear();
  Click("btn_export");
  EXPECT_TRUE(NewBoxes().empty());
  chosen = dir.filePath("missing/sub/devices.csv");
  boxes->Queue(IDOK);
  Click("btn_export");
  shown = NewBoxes();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].title, "Export Error");
  EXPECT_EQ(shown[0].text, "Opening file failed.");

  // An empty list: a message, no file dialog, no file.
  Click("btn_refresh");
  int dialogsBefore = dialogs;
  chosen = dir.filePath("empty");
  boxes->Queue(IDOK);
  Click("btn_export");
  shown = NewBoxes();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].title, "Export Error");
  EXPECT_EQ(shown[0].text, "No online devices.");
  EXPECT_EQ(dialogs, dialogsBefore);
  EXPECT_FALSE(QFile::exists(dir.filePath("empty.csv")));
}

TEST(MainWndExport, FileTypesOfTheSaveDialogComeFromTheCatalog) {
  CTranslateManager* tm = CTranslateManager::GetInstance();
  EXPECT_EQ(CMainWnd::ExportFileFilter(), "CSV Files (*.csv);;All Files (*)");
  ASSERT_TRUE(tm->LoadLanguage(QCoreApplication::applicationDirPath() + "/Language/Deutsch.txt"));
  EXPECT_EQ(CMainWnd::ExportFileFilter(), "CSV-Dateien (*.csv);;Alle Dateien (*)");
  tm->LoadLanguage(QString());
}

TEST_F(MainWndTest, ALanguageChosenInTheSettingsSwitchesTheWindowAtOnce) {
  QTemporaryDir dir;
  ASSERT_TRUE(QDir(dir.path()).mkpath("Language"));
  for (const char* file : {"English.txt", "Deutsch.txt"}) {
    ASSERT_TRUE(QFile::copy(QString(IPS_MODULE_DIR "/Language/") + file,
                            dir.filePath(QString("Language/") + file)));
  }
  CGlobalUtils::SetModuleDirForTesting(dir.path().toStdString());
  auto* combo = Control<CModelCombo>("combo_model");
  EXPECT_EQ(Control<QAbstractButton>("btn_search")->text(), "Search");

  uitest::WhenModalShown([](QWidget* modal) {
    auto* languages = modal->findChild<QComboBox*>("combo_language");
    ASSERT_NE(languages, nullptr);
    EXPECT_TRUE(modal->findChild<QAbstractButton*>("opt_language")->isChecked());
    languages->setCurrentIndex(languages->findData("Deutsch"));
    uitest::ClickControl(modal->findChild<QWidget*>("view_language"), "btn_ok");
  });
  boxes->Queue(IDYES, "Do you want to change the language?");
  Click("btn_system_setting");

  // Layout texts, texts the window formats and the filter's entries: all German now.
  EXPECT_EQ(Control<QAbstractButton>("btn_search")->text(), "Suchen");
  EXPECT_EQ(Control<QLabel>("lab_device_count")->text(), "Geräte online: 0");
  EXPECT_EQ(wnd->GetDeviceListView()->EmptyLabel()->text(), "Geräte werden gesucht...");
  EXPECT_EQ(combo->itemText(0), "Alle");
  EXPECT_EQ(CGlobalUtils::ReadLanguageSetting(), "Deutsch");

  CTranslateManager::GetInstance()->LoadLanguage(QString());
  CGlobalUtils::SetModuleDirForTesting("");
  EXPECT_EQ(Control<QAbstractButton>("btn_search")->text(), "Search");
}

TEST(MainWndCountFormat, TakesOneIntegerAndNothingElse) {
  struct Case {
    const char* format;
    const char* expected;
  } cases[] = {{"Online devices: %d", "Online devices: 12"},
               {"%u devices (100%%)", "12 devices (100%)"},
               {"%s %n %x", "%s %n %x"},  // a broken catalog text is shown, never interpreted
               {"no number", "no number"},
               {"trailing %", "trailing %"}};
  for (const Case& c : cases) {
    EXPECT_EQ(CMainWnd::FormatCount(c.format, 12), QString(c.expected)) << c.format;
  }
}

TEST(MainWndAdapterCheck, AsksOnlyWhenTheChoiceIsOpen) {
  EXPECT_FALSE(CMainWnd::AdapterChoiceNeeded(1, ""));
  EXPECT_TRUE(CMainWnd::AdapterChoiceNeeded(0, ""));
  EXPECT_TRUE(CMainWnd::AdapterChoiceNeeded(2, ""));
  EXPECT_FALSE(CMainWnd::AdapterChoiceNeeded(2, "192.168.1.5"));
  // An adapter without IPv4 address leaves the address empty: its saved name is the choice.
  EXPECT_FALSE(CMainWnd::AdapterChoiceNeeded(2, "", "tap9"));
}

// Status dots, badges and the problems toggle, over the real core's table and status tracker.
TEST_F(MainWndTest, ProblemsToggleNarrowsTheListAndMissingRowsStay) {
  CManualOpClock clock;
  CDeviceStatusTracker& tracker = CControl::GetInstance()->DeviceStatus();
  tracker.SetClock(&clock);
  const std::vector<DEVICE_ENTRY_T> site = {
      Dev("10.0.0.1", "02:00:00:00:00:0A", "DS-210 Door Station", "1-1"),
      Dev("10.0.0.1", "02:00:00:00:00:0B", "DS-210 Door Station", "1-2"),  // same IP as 0A
      Dev("10.0.0.2", "02:00:00:00:00:0C", "", "1-3"),                     // no model at all
      Dev("10.0.0.3", "02:00:00:00:00:0D", "DS-210 Door Station", "1-4")};
  auto round = [&](size_t answering) {
    tracker.BeginRound();
    for (size_t i = 0; i < answering; ++i) {
      CControl::GetInstance()->UpdateDevice(site[i]);
      tracker.OnAnswer(site[i].mac);
    }
    clock.Advance(std::chrono::milliseconds(5000));
  };
  round(4);
  wnd->RefreshDeviceList();
  auto* toggle = Control<QAbstractButton>("btn_problems");
  ASSERT_NE(toggle, nullptr);
  EXPECT_EQ(toggle->text(), "Problems (3)");
  const QString countText = Control<QLabel>("lab_device_count")->text();

  Click("btn_problems");
  EXPECT_EQ(Ips(), (std::vector<std::string>{"10.0.0.1", "10.0.0.1", "10.0.0.2"}));
  EXPECT_EQ(model->data(model->index(2), CDeviceListModel::ProblemsRole).toString(),
            "unknown_model");
  Click("btn_problems");
  EXPECT_EQ(model->Count(), 4);
  EXPECT_EQ(Control<QLabel>("lab_device_count")->text(), countText);

  // 0D goes quiet: after three silent rounds its row is missing but stays, and says since when.
  for (int i = 0; i < 4; ++i) round(3);
  tracker.BeginRound();
  wnd->RefreshDeviceList();
  EXPECT_EQ(model->Count(), 4);
  const int quiet = model->FindRow("02:00:00:00:00:0D");
  EXPECT_EQ(model->data(model->index(quiet), CDeviceListModel::StatusRole).toString(), "missing");
  // The others came after the window's first discovery and are new for a minute.
  EXPECT_EQ(model->data(model->index(0), CDeviceListModel::StatusRole).toString(), "new");
  EXPECT_TRUE(
      wnd->GetSiteMarks().StatusToolTip("02:00:00:00:00:0D").startsWith("Missing, last seen "));
  EXPECT_TRUE(wnd->GetSiteMarks().ProblemToolTip("02:00:00:00:00:0A").contains("is also used by"));

  // Hovering the drawn dot and badge shows those texts.
  CDeviceListView* view = wnd->GetDeviceListView();
  auto tipAt = [&](const QPoint& point) {
    QHelpEvent help(QEvent::ToolTip, point, view->View()->viewport()->mapToGlobal(point));
    QApplication::sendEvent(view->View()->viewport(), &help);
    return QToolTip::text();
  };
  const QRect rowRect = view->View()->visualRect(model->index(quiet));
  QRect dotSpace, badgeSpace;
  view->Painter()->SiteMarkSpaces(*model->RowAt(quiet), rowRect, &dotSpace, &badgeSpace);
  EXPECT_TRUE(tipAt(CDeviceSiteMarks::DotRect(dotSpace).center()).startsWith("Missing, last seen"));
  const int dup = model->FindRow("02:00:00:00:00:0B");
  const QRect dupRect = view->View()->visualRect(model->index(dup));
  view->Painter()->SiteMarkSpaces(*model->RowAt(dup), dupRect, &dotSpace, &badgeSpace);
  const QRect badge = wnd->GetSiteMarks().BadgeRect("02:00:00:00:00:0B", badgeSpace);
  ASSERT_FALSE(badge.isEmpty());
  EXPECT_TRUE(tipAt(badge.center()).contains("10.0.0.1 is also used by 02:00:00:00:00:0A"));

  // Refresh starts over: every device again, the toggle off.
  Click("btn_problems");
  Click("btn_refresh");
  EXPECT_FALSE(toggle->isChecked());
  tracker.SetClock(nullptr);
}
