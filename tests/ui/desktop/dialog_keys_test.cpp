// The keyboard in the dialogs: Enter presses the focused or the primary button, Escape the
// dialog's own Cancel or close button with every question that button asks, the window
// manager's close button takes the same way, and the focus shows on every button.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QImage>
#include <QPushButton>
#include <functional>
#include <memory>

#include "core/control/control.h"
#include "core/control/control_outbound_hooks.h"
#include "support/ui_driver.h"
#include "ui/framework/message_box.h"
#include "ui/framework/skin_style.h"
#include "ui/settings/about_dlg.h"
#include "ui/settings/system_setting_dlg.h"
#include "ui/staticip/set_static_ip_dlg.h"
#include "ui/upgrade/upgrade_dlg.h"

namespace {

using uitest::FindVisible;
using uitest::PressKey;
using uitest::WhenModalShown;

struct BoxKeyCase {
  const char* name;
  int buttons;
  int key;
  const char* focus;  // null: the box's own first focus (its primary button)
  int expected;
};

TEST(DialogKeys, MessageBoxAnswersEnterAndEscapeForEverySet) {
  const BoxKeyCase cases[] = {
      {"OK box, Enter", MB_OK, Qt::Key_Return, nullptr, IDOK},
      {"OK box, Escape closes it", MB_OK, Qt::Key_Escape, nullptr, IDCANCEL},
      {"OK/Cancel, keypad Enter", MB_OKCANCEL, Qt::Key_Enter, nullptr, IDOK},
      {"OK/Cancel, Escape is Cancel", MB_OKCANCEL, Qt::Key_Escape, nullptr, IDCANCEL},
      {"OK/Cancel, Enter on focused Cancel", MB_OKCANCEL, Qt::Key_Return, "btn_cancel", IDCANCEL},
      {"Yes/No, Enter is Yes", MB_YESNO, Qt::Key_Return, nullptr, IDYES},
      {"Yes/No, Enter on focused No", MB_YESNO, Qt::Key_Return, "btn_no", IDNO},
      {"Yes/No, Escape is not Yes", MB_YESNO, Qt::Key_Escape, "btn_yes", IDCANCEL},
  };
  for (const BoxKeyCase& c : cases) {
    bool closedByKey = false;
    WhenModalShown([&](QWidget* box) {
      PressKey(box, Qt::Key_Pause);  // still nothing
      if (c.focus) FindVisible(box, c.focus)->setFocus();
      PressKey(box, c.key);
      QApplication::processEvents();
      closedByKey = !box->isVisible();
      if (!closedByKey) uitest::ClickControl(box, "closebtn");  // never hang the test
    });
    EXPECT_EQ(ShowMessageBox(nullptr, "t", "Keys?", c.buttons), c.expected) << c.name;
    EXPECT_TRUE(closedByKey) << c.name;
  }
}

// Presses `key` in the next modal window; closes it by its close button when the key did not,
// so that a failing case fails instead of hanging. True when the key closed it.
bool KeyCloses(int key, const std::function<int()>& run, int* code) {
  bool closedByKey = false;
  WhenModalShown([&](QWidget* dlg) {
    PressKey(dlg, key);
    QApplication::processEvents();
    closedByKey = !dlg->isVisible();
    if (!closedByKey) {
      if (auto* close = qobject_cast<QAbstractButton*>(FindVisible(dlg, "closebtn")))
        close->click();
    }
  });
  *code = run();
  return closedByKey;
}

TEST(DialogKeys, EscapeAndEnterCloseTheAboutBoxAndEscapeCancelsTheSettingsAndStaticIp) {
  int code = 0;
  for (int key : {Qt::Key_Escape, Qt::Key_Return}) {
    CAboutDlg about(nullptr);
    EXPECT_TRUE(KeyCloses(
        key, [&] { return about.DoModal(); }, &code))
        << key;
  }
  CSystemSettingDlg settings(nullptr, CSystemSettingDlg::kTabLanguage);
  EXPECT_TRUE(KeyCloses(
      Qt::Key_Escape, [&] { return settings.DoModal(); }, &code));
  EXPECT_EQ(code, IDCANCEL);
  CControl::GetInstance()->ClearDevices();
  CSetStaticIPDlg choice(nullptr, false);
  EXPECT_TRUE(KeyCloses(
      Qt::Key_Escape, [&] { return choice.DoModal(); }, &code));
  EXPECT_EQ(code, IDCANCEL);
}

// The upgrade dialog asks whether to give up a running upgrade on every way out: its Cancel,
// Escape and the window manager's close button.
TEST(DialogKeys, EveryWayOutOfARunningUpgradeAsksFirst) {
  OutboundHooks hooks;
  hooks.send = [](const PACKET_RECORD_T*) {};
  SetOutboundHooks(hooks);
  const DEVICE_ENTRY_T device{"10.213.1.5", "021A2B000005", "061A2B000005",
                              "IM-700",     "1-0105",       "29.30.1.1"};
  CControl::GetInstance()->ClearDevices();
  CControl::GetInstance()->UpdateDevice(device);
  enum Way { kEscape, kWindowClose };
  for (Way way : {kEscape, kWindowClose}) {
    uitest::MessageBoxAnswers boxes;
    CUpgradeDlg dlg(device, QStringLiteral("29.30.1.2.rom"), nullptr);
    bool stayedOnNo = false;
    WhenModalShown([&](QWidget* shown) {
      auto leave = [&] {
        if (way == kEscape) {
          PressKey(shown, Qt::Key_Escape);
        } else {
          QCloseEvent close;
          QApplication::sendEvent(shown, &close);
        }
      };
      boxes.Queue(IDNO, "may be interrupted");
      leave();
      stayedOnNo = shown->isVisible();
      boxes.Queue(IDYES, "may be interrupted");
      leave();
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL) << way;
    EXPECT_TRUE(stayedOnNo) << way;
  }
  SetOutboundHooks({});
  CControl::GetInstance()->ClearDevices();
}

// The focus ring must show on the blue primary button as well as on the plain ones: a focused
// button looks different from the same button without focus.
TEST(DialogKeys, FocusShowsOnPrimaryAndPlainButtons) {
  ApplySkinStyle();
  MessageBoxDlg box(nullptr, "t", "Focus?", MB_OKCANCEL);
  ASSERT_TRUE(box.Create());
  box.show();
  QApplication::setActiveWindow(&box);
  ASSERT_TRUE(uitest::WaitUntil([&] { return box.isActiveWindow(); }));
  for (const char* name : {"btn_ok", "btn_cancel"}) {
    auto* button = qobject_cast<QPushButton*>(FindVisible(&box, name));
    ASSERT_NE(button, nullptr) << name;
    button->clearFocus();
    QApplication::processEvents();
    ASSERT_FALSE(button->hasFocus());
    const QImage without = button->grab().toImage();
    button->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    ASSERT_TRUE(button->hasFocus()) << name;
    const QImage with = button->grab().toImage();
    EXPECT_NE(with, without) << name << ": focus does not show";
  }
}

}  // namespace
