// Notification delivery: message map chains, views that see only their own descendants,
// control timers, missing controls, and closing from another thread.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>
#include <thread>

#include "test_layouts.h"
#include "ui/framework/base_dlg.h"
#include "ui/framework/base_view.h"
#include "ui/framework/dlg_builder_callback.h"
#include "ui/framework/notify_hub.h"
#include "ui/framework/ui_thread.h"
#include "ui/support/ui_driver.h"

using namespace uitest;

namespace {

// Two views side by side, each with a button of the same name, and a window-level button.
const char* kHostXml = R"(
 <widget class="QWidget" name="HostWnd">
  <property name="geometry"><rect><x>0</x><y>0</y><width>300</width><height>200</height></rect></property>
  <layout class="QHBoxLayout" name="hbox">
   <item><widget class="TestView" name="view_left"/></item>
   <item><widget class="TestView" name="view_right"/></item>
   <item><widget class="QPushButton" name="btn_window"><property name="text"><string>Go</string></property></widget></item>
   <item><widget class="QLineEdit" name="edit_name"/></item>
   <item><widget class="QLabel" name="label_status"><property name="text"><string>idle</string></property></widget></item>
   <item><widget class="QPushButton" name="closebtn"/></item>
  </layout>
 </widget>
 <customwidgets><customwidget><class>TestView</class><extends>QWidget</extends></customwidget></customwidgets>)";

const char* kViewXml = R"(
 <widget class="QWidget" name="ViewContent">
  <layout class="QVBoxLayout" name="vbox">
   <item><widget class="QPushButton" name="btn_action"><property name="text"><string>Act</string></property></widget></item>
  </layout>
 </widget>)";

TestLayouts& Layouts() {
  static TestLayouts layouts;
  return layouts;
}

class CTestView : public CBaseView {
  Q_OBJECT
public:
  explicit CTestView(QWidget* parent) : CBaseView(parent) {
    LoadLayout(Layouts().Write("TestView.xml", kViewXml));
  }
  void DoInit() override { ++inits; }
  QStringList seen;  // "type:sender"
  int inits = 0;
  IPS_DECLARE_MESSAGE_MAP()
private:
  void OnAny(TNotifyMsg& msg) { seen << msg.sType + ":" + msg.SenderName(); }
};

IPS_BEGIN_MESSAGE_MAP(CTestView, CBaseView)
IPS_ON_CLICK("btn_action", OnAny)
IPS_ON_MSGTYPE("windowinit", OnAny)
IPS_ON_MSGTYPE("click", OnAny)
IPS_END_MESSAGE_MAP()

class CHostDlg : public CBaseDlg {
  Q_OBJECT
public:
  CHostDlg() : CBaseDlg("Host", nullptr, false) {
    CDlgBuilderCallback::RegisterClass("TestView", [](QWidget* p) { return new CTestView(p); });
  }
  QString layout = Layouts().Write("HostWnd.xml", kHostXml);
  QStringList windowSeen;
  std::vector<qint64> timerIds;
  CTestView* left = nullptr;
  CTestView* right = nullptr;
  std::function<void()> onInit;

protected:
  QString GetLayoutFileName() const override { return layout; }
  void InitWindow() override {
    left = FindControl<CTestView>("view_left");
    right = FindControl<CTestView>("view_right");
    if (onInit) onInit();
  }
  IPS_DECLARE_MESSAGE_MAP()
private:
  void OnWindowButton(TNotifyMsg& msg) { windowSeen << "own:" + msg.SenderName(); }
  void OnText(TNotifyMsg& msg) { windowSeen << "text:" + ReadLabel(this, msg.SenderName()); }
  void OnTimer(TNotifyMsg& msg) { timerIds.push_back(msg.wParam); }
};

IPS_BEGIN_MESSAGE_MAP(CHostDlg, CBaseDlg)
IPS_ON_CLICK("btn_window", OnWindowButton)
IPS_ON_TEXTCHANGED("edit_name", OnText)
IPS_ON_MSGTYPE("timer", OnTimer)
IPS_END_MESSAGE_MAP()

TEST(Views, SeeOnlyTheirOwnDescendantsAndWindowInit) {
  CHostDlg dlg;
  WhenModalShown([&](QWidget* w) {
    ASSERT_TRUE(WaitUntil([&] { return dlg.left->seen.contains("windowinit:HostWnd"); }, 2000));
    dlg.left->findChild<QPushButton*>("btn_action")->click();
    ClickControl(w, "btn_window");
    ClickControl(w, "closebtn");
  });
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  ASSERT_NE(dlg.left, nullptr);
  ASSERT_NE(dlg.right, nullptr);
  EXPECT_EQ(dlg.left->seen, (QStringList{"windowinit:HostWnd", "click:btn_action"}));
  EXPECT_EQ(dlg.right->seen, QStringList{"windowinit:HostWnd"});  // not its sibling's click
  EXPECT_EQ(dlg.left->inits, 1);
  // The window's own map takes its entry; the view's click reaches the window too but no entry
  // of the window takes "btn_action", and the base map's click handler ignores it.
  EXPECT_EQ(dlg.windowSeen, QStringList{"own:btn_window"});
}

TEST(Views, AnotherViewsTargetedNotificationIsIgnored) {
  CHostDlg dlg;
  ASSERT_TRUE(dlg.Create());
  TNotifyMsg msg;
  msg.sType = "click";
  msg.pSender = dlg.left->findChild<QPushButton*>("btn_action");
  msg.sVirtualWnd = "no_such_child";
  dlg.GetManager()->SendNotify(msg);
  EXPECT_TRUE(dlg.left->seen.isEmpty());
  msg.sVirtualWnd = "btn_action";
  dlg.GetManager()->SendNotify(msg);
  EXPECT_EQ(dlg.left->seen, QStringList{"click:btn_action"});
}

TEST(Controls, TextChangesAreNotifiedWithTheSender) {
  CHostDlg dlg;
  ASSERT_TRUE(dlg.Create());
  dlg.FindControl<QLineEdit>("edit_name")->setText("192.168.1.20");
  EXPECT_EQ(dlg.windowSeen, QStringList{"text:192.168.1.20"});
}

TEST(Timers, DeliverTheirIdsUntilKilledOrTheControlGoes) {
  CHostDlg dlg;
  ASSERT_TRUE(dlg.Create());
  QWidget* label = dlg.FindControl("label_status");
  auto* temp = new QLabel(dlg.GetRoot());
  ASSERT_TRUE(dlg.SetTimer(label, 7, 5));
  ASSERT_TRUE(dlg.SetTimer(dlg.GetRoot(), 9, 5));
  ASSERT_TRUE(dlg.SetTimer(temp, 11, 5));
  auto count = [&](qint64 id) { return std::count(dlg.timerIds.begin(), dlg.timerIds.end(), id); };
  ASSERT_TRUE(WaitUntil([&] { return count(7) >= 2 && count(9) >= 2 && count(11) >= 2; }, 2000));
  dlg.KillTimer(label, 7);
  delete temp;
  dlg.timerIds.clear();
  ASSERT_TRUE(WaitUntil([&] { return count(9) >= 3; }, 2000));
  EXPECT_EQ(count(7), 0);
  EXPECT_EQ(count(11), 0);
}

TEST(Controls, MissingOrWrongKindLooksUpAsNull) {
  CHostDlg dlg;
  ASSERT_TRUE(dlg.Create());
  EXPECT_NE(dlg.FindControl<QLabel>("label_status"), nullptr);
  EXPECT_EQ(dlg.FindControl<QLabel>("label_absent"), nullptr);
  EXPECT_EQ(dlg.FindControl<QLineEdit>("label_status"), nullptr);  // a label, not an edit
  EXPECT_EQ(dlg.FindControl<QLabel>(""), nullptr);
}

TEST(Controls, TagAndUserDataStayWithTheControl) {
  QLabel a, b;
  SetTag(&a, reinterpret_cast<quintptr>(&b));
  SetUserData(&a, "00:11:22:33:44:55");
  EXPECT_EQ(GetTag(&a), reinterpret_cast<quintptr>(&b));
  EXPECT_EQ(GetUserData(&a), "00:11:22:33:44:55");
  EXPECT_EQ(GetTag(&b), 0u);
  EXPECT_EQ(GetUserData(&b), "");
}

TEST(Dialogs, MissingLayoutFailsTheRunInsteadOfShowingAnEmptyWindow) {
  CHostDlg dlg;
  dlg.layout = "/nonexistent/Nothing.xml";
  EXPECT_EQ(dlg.DoModal(), -1);
}

TEST(Dialogs, CloseFromAnotherThreadEndsTheRunAndIsIgnoredBeforeTheWindowExists) {
  CHostDlg dlg;
  std::thread early([&] { dlg.Close(IDOK); });  // no window yet: nothing happens
  early.join();
  QApplication::processEvents();
  std::thread closer;
  WhenModalShown([&](QWidget*) { closer = std::thread([&] { dlg.Close(IDYES); }); });
  EXPECT_EQ(dlg.DoModal(), IDYES);
  closer.join();
}

TEST(Dialogs, CloseFromInitWindowEndsTheRunOnceShown) {
  CHostDlg dlg;
  dlg.onInit = [&] { dlg.Close(IDNO); };
  EXPECT_EQ(dlg.DoModal(), IDNO);
}

TEST(Dialogs, WindowManagerCloseGivesCancel) {
  CHostDlg dlg;
  WhenModalShown([](QWidget* w) { w->close(); });
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
}

// A control-core callback on a worker thread hands its news to the UI thread; the call is dropped
// when the window went away first.
TEST(UiThread, PostedCallsRunOnTheUiThreadAndNotAfterTheirWindow) {
  QThread* uiThread = QThread::currentThread();
  auto* alive = new QWidget;
  auto* gone = new QWidget;
  QThread* ranOn = nullptr;
  bool goneRan = false;
  std::thread worker([&] {
    PostToUiThread(alive, [&] { ranOn = QThread::currentThread(); });
    PostToUiThread(gone, [&] { goneRan = true; });
  });
  worker.join();
  delete gone;
  EXPECT_TRUE(WaitUntil([&] { return ranOn != nullptr; }, 2000));
  QApplication::processEvents();
  EXPECT_EQ(ranOn, uiThread);
  EXPECT_FALSE(goneRan);
  delete alive;
}

}  // namespace

#include "dispatch_test.moc"
