#include <gtest/gtest.h>

#include <QApplication>

#include "core/control/control.h"
#include "core/control/control_outbound_hooks.h"
#include "support/ui_driver.h"
#include "ui/framework/dialog_codes.h"
#include "ui/main/main_wnd.h"
#include "ui/staticip/set_static_ip_detail_dlg.h"
#include "ui/staticip/set_static_ip_detail_model.h"
#include "ui/staticip/set_static_ip_dlg.h"
#include "ui/staticip/set_static_ip_list_model.h"

// The main window's static IP button runs the selection and then the progress over one mask, and
// gives the window back when both are done.
TEST(MainWndStaticIp, SelectionThenProgressOverOneMask) {
  CMainWnd::SetStartupHook([](CMainWnd*) {});
  int sent = 0;
  OutboundHooks hooks;
  hooks.send = [&sent](const PACKET_RECORD_T*) { ++sent; };
  SetOutboundHooks(hooks);
  CControl::GetInstance()->ClearDevices();
  CControl::GetInstance()->UpdateDevice(
      {"10.0.0.2", "021A2B000002", "021A2B000002", "M", "1", "1"});
  CControl::GetInstance()->UpdateDevice(
      {"10.0.0.1", "021A2B000001", "021A2B000001", "M", "1", "1"});
  uitest::MessageBoxAnswers boxes;
  {
    CMainWnd wnd;
    ASSERT_TRUE(wnd.Create());
    wnd.show();
    QApplication::processEvents();

    int progressRows = -1;
    bool maskedDuringSelection = false;
    uitest::WhenModalShown([&](QWidget* modal) {
      auto* selection = qobject_cast<CSetStaticIPDlg*>(modal);
      ASSERT_NE(selection, nullptr);
      maskedDuringSelection = !wnd.isEnabled();
      EXPECT_EQ(selection->Model()->Count(), 2);
      uitest::WhenModalShown(
          [&](QWidget* next) {
            auto* progress = qobject_cast<CSetStaticIPDetailDlg*>(next);
            ASSERT_NE(progress, nullptr);
            progressRows = progress->Model()->Count();
            boxes.Queue(IDYES, "not completed");
            uitest::ClickControl(progress, "closebtn");
          },
          5000, selection);
      uitest::ClickControl(selection, "btn_ok");
    });
    const int before = sent;
    ASSERT_TRUE(uitest::ClickControl(&wnd, "btn_static_ip"));
    EXPECT_TRUE(maskedDuringSelection);
    EXPECT_EQ(progressRows, 2);
    EXPECT_GE(sent - before, 2) << "a configuration request to each chosen device";
    EXPECT_TRUE(wnd.isEnabled()) << "the window is given back";
  }
  SetOutboundHooks({});
  CMainWnd::SetStartupHook({});
  CControl::GetInstance()->ClearDevices();
}
