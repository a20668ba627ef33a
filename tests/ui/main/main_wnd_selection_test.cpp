// The main list's multiple selection, its context menu and the device panel that lies over the
// list: a real main window over the control core's table, without capture.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QTimer>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/control/control.h"
#include "core/control/control_outbound_hooks.h"
#include "support/ui_driver.h"
#include "ui/device/device_info_view.h"
#include "ui/main/device_list_model.h"
#include "ui/main/device_list_view.h"
#include "ui/main/main_wnd.h"

namespace {

DEVICE_ENTRY_T Dev(const std::string& ip, const std::string& mac, const std::string& model) {
  return DEVICE_ENTRY_T{ip, mac, mac, model, "1-1", "29.30.1.2"};
}

class MainWndSelection : public testing::Test {
protected:
  void SetUp() override {
    CMainWnd::SetStartupHook([](CMainWnd*) {});
    OutboundHooks hooks;
    hooks.send = [](const PACKET_RECORD_T*) {};  // nothing leaves
    SetOutboundHooks(hooks);
    CControl::GetInstance()->ClearDevices();
    wnd = std::make_unique<CMainWnd>();
    ASSERT_TRUE(wnd->Create());
    wnd->resize(1366, 768);
    wnd->show();
    for (int i = 1; i <= 6; ++i) {
      const std::string n = std::to_string(i);
      CControl::GetInstance()->UpdateDevice(
          Dev("10.0.0." + n, "02:00:00:00:00:0" + n, i % 2 ? "Door" : "Indoor"));
    }
    wnd->RefreshDeviceList();
    QApplication::processEvents();
    list = wnd->GetDeviceListView()->View();
    model = wnd->GetDeviceListModel();
  }

  void TearDown() override {
    wnd.reset();
    CMainWnd::SetStartupHook({});
    SetOutboundHooks({});
    CControl::GetInstance()->ClearDevices();
  }

  // A click on the row's middle outside its buttons (the room column).
  void ClickRow(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    const QRect room = wnd->GetDeviceListView()->PartRect(row, CDeviceRowPainter::kRoom);
    ASSERT_FALSE(room.isEmpty());
    uitest::ClickAt(list->viewport(), room.center(), Qt::LeftButton, modifiers);
    QApplication::processEvents();
  }

  std::set<std::string> Selected() const {
    const std::vector<std::string> macs = wnd->SelectedMacs();
    return {macs.begin(), macs.end()};
  }

  QString SelectionCount() const {
    return uitest::ReadLabel(wnd->GetRoot(), "lab_selection_count");
  }

  std::unique_ptr<CMainWnd> wnd;
  QListView* list = nullptr;
  CDeviceListModel* model = nullptr;
};

TEST_F(MainWndSelection, IsKeptByMacThroughRefreshSortAndSearch) {
  ClickRow(1);
  ClickRow(3, Qt::ControlModifier);
  ClickRow(5, Qt::ControlModifier);
  const std::set<std::string> chosen = {"02:00:00:00:00:02", "02:00:00:00:00:04",
                                        "02:00:00:00:00:06"};
  EXPECT_EQ(Selected(), chosen);
  EXPECT_EQ(SelectionCount(), "3 selected");
  EXPECT_TRUE(wnd->GetRoot()->findChild<QLabel*>("lab_selection_count")->isVisible());

  // A device moves in the IP order, and the once-a-second refresh runs.
  CControl::GetInstance()->UpdateDevice(Dev("10.0.0.99", "02:00:00:00:00:02", "Indoor"));
  wnd->RefreshDeviceList();
  EXPECT_EQ(Selected(), chosen);
  ASSERT_TRUE(uitest::ClickControl(wnd.get(), "btn_model_sort"));
  EXPECT_EQ(Selected(), chosen);

  // A search that hides two of them: the one left is what the actions get; the others come
  // back selected when the search is cleared.
  auto* search = wnd->GetRoot()->findChild<QLineEdit*>("edit_search");
  search->setText("10.0.0.4");
  ASSERT_TRUE(uitest::ClickControl(wnd.get(), "btn_search"));
  EXPECT_EQ(Selected(), std::set<std::string>{"02:00:00:00:00:04"});
  EXPECT_EQ(SelectionCount(), "1 selected");
  search->clear();
  ASSERT_TRUE(uitest::ClickControl(wnd.get(), "btn_search"));
  EXPECT_EQ(Selected(), chosen);

  // Shift extends from the current row; Ctrl+A takes every row.
  ClickRow(0);
  ClickRow(2, Qt::ShiftModifier);
  EXPECT_EQ(wnd->SelectedMacs().size(), 3u);
  uitest::PressKey(list, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(SelectionCount(), "6 selected");
}

TEST_F(MainWndSelection, ContextMenuActsOnTheSelection) {
  ClickRow(0);
  ClickRow(2, Qt::ControlModifier);
  QStringList actions;
  QTimer::singleShot(0, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    for (QAction* a : menu->actions())
      if (!a->isSeparator()) actions << a->objectName();
    for (QAction* a : menu->actions())
      if (a->objectName() == "action_copy_rows") menu->setActiveAction(a);
    uitest::PressKey(menu, Qt::Key_Return);
  });
  QGuiApplication::clipboard()->clear();
  // A right click inside the selection keeps it.
  const QRect room = wnd->GetDeviceListView()->PartRect(2, CDeviceRowPainter::kRoom);
  uitest::ClickAt(list->viewport(), room.center(), Qt::RightButton);
  ASSERT_TRUE(uitest::WaitUntil([] { return !QGuiApplication::clipboard()->text().isEmpty(); }));
  EXPECT_EQ(actions, (QStringList{"action_upgrade", "action_reboot", "action_static_ip",
                                  "action_copy_rows", "action_export"}));
  EXPECT_EQ(QGuiApplication::clipboard()->text(),
            "1\t10.0.0.1\t02:00:00:00:00:01\tDoor\t1-1\t29.30.1.2\n"
            "3\t10.0.0.3\t02:00:00:00:00:03\tDoor\t1-1\t29.30.1.2\n");
}

// The installer's pointer rests on a row's button while the device panel opens and closes: the
// row and the button under it stay the same.
TEST_F(MainWndSelection, OpeningAndClosingThePanelMovesNothingUnderThePointer) {
  CDeviceListView* view = wnd->GetDeviceListView();
  CDeviceInfoView* panel = wnd->GetDeviceInfoView();
  ASSERT_NE(panel, nullptr);
  ASSERT_FALSE(panel->isVisible());
  const QRect button = view->ButtonRect(3, "btn_mac_copy");
  ASSERT_FALSE(button.isEmpty());
  const QPoint pointer = button.center();
  auto rowAndButtonStay = [&](const char* when) {
    EXPECT_EQ(list->indexAt(pointer).row(), 3) << when;
    EXPECT_EQ(view->ButtonRect(3, "btn_mac_copy"), button) << when;
  };

  ClickRow(1);  // opens the panel for the row clicked
  ASSERT_TRUE(panel->isVisible());
  EXPECT_EQ(panel->GetDeviceInfo().mac, "02:00:00:00:00:02");
  rowAndButtonStay("with the panel open");
  // The panel lies over the list's right part, not beside it.
  EXPECT_TRUE(list->geometry().contains(
      list->parentWidget()->mapFrom(panel->parentWidget(), panel->geometry().center())));

  // It follows the keyboard's current row as it follows clicks.
  list->setFocus();
  uitest::PressKey(list, Qt::Key_Down);
  EXPECT_EQ(panel->GetDeviceInfo().mac, "02:00:00:00:00:03");

  ASSERT_TRUE(uitest::ClickControl(wnd.get(), "btn_hide"));
  ASSERT_FALSE(panel->isVisible());
  rowAndButtonStay("after the panel closed");
}

}  // namespace
