// Tab walks every window in reading order: top to bottom, left to right, the primary button
// last before Cancel. Each window is walked with real Tab presses from its first control; every
// enabled control that takes the keyboard must come once, in the order of the table, and the
// walk must come back to where it started.

#include <gtest/gtest.h>

#include <QApplication>
#include <QStringList>
#include <functional>
#include <memory>

#include "desktop/quiet_window_fixture.h"
#include "support/ui_driver.h"
#include "ui/assign/assign_address_dlg.h"
#include "ui/device/device_info_view.h"
#include "ui/framework/message_box.h"
#include "ui/framework/skin_style.h"
#include "ui/main/device_list_model.h"
#include "ui/main/main_wnd.h"
#include "ui/reboot/batch_reboot_dlg.h"
#include "ui/settings/about_dlg.h"
#include "ui/settings/system_setting_dlg.h"
#include "ui/staticip/set_static_ip_detail_dlg.h"
#include "ui/staticip/set_static_ip_dlg.h"
#include "ui/upgrade/batch_upgrade_dlg.h"
#include "ui/upgrade/upgrade_dlg.h"

namespace {

// Every shown, enabled control of `window` that Tab can reach.
QStringList TabReachable(QWidget* window) {
  QStringList names;
  for (QWidget* w : window->findChildren<QWidget*>()) {
    if (w->isVisible() && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus) &&
        w->focusProxy() == nullptr)
      names << w->objectName();
  }
  return names;
}

// The controls Tab reaches from `first`, in order, until the focus comes back to `first` (or
// after more steps than the window has controls: then the walk is stuck or loops elsewhere).
QStringList TabWalk(QWidget* window, QWidget* first) {
  QStringList walk;
  first->setFocus(Qt::TabFocusReason);
  QApplication::processEvents();
  const int limit = static_cast<int>(window->findChildren<QWidget*>().size()) + 2;
  QWidget* at = window->focusWidget();
  for (int step = 0; step < limit && at; ++step) {
    walk << at->objectName();
    uitest::PressKey(at, Qt::Key_Tab);
    QApplication::processEvents();
    at = window->focusWidget();
    if (at == first) return walk;
  }
  walk << QStringLiteral("<no way back to the first control>");
  return walk;
}

}  // namespace

class TabOrder : public QuietWindowTest {
protected:
  void SetUp() override {
    QuietWindowTest::SetUp();
    for (const DEVICE_ENTRY_T& d : devices) CControl::GetInstance()->UpdateDevice(d);
  }
  const std::vector<DEVICE_ENTRY_T> devices = {
      {"192.168.100.201", "021A2B000001", "021A2B000001", "DS-410", "1-0101", "29.30.1.2"},
      {"192.168.100.202", "021A2B000002", "021A2B000002", "IM-700", "1-0102", "29.30.1.2"},
  };
};

struct TabCase {
  const char* window;
  std::function<std::unique_ptr<QWidget>(const std::vector<DEVICE_ENTRY_T>&)> make;
  QStringList order;  // from the first control round to the last
};

std::unique_ptr<QWidget> MainWindowWithPanel(const std::vector<DEVICE_ENTRY_T>&) {
  auto wnd = std::make_unique<CMainWnd>();
  if (!wnd->Create()) return wnd;
  wnd->RefreshDeviceList();
  wnd->GetDeviceInfoView()->SetDeviceInfo(wnd->GetDeviceListModel()->RowAt(0)->Device());
  wnd->GetDeviceInfoView()->setVisible(true);
  wnd->resize(1280, 720);
  return wnd;
}

TEST_F(TabOrder, TabWalksEveryWindowInReadingOrderWithThePrimaryButtonBeforeCancel) {
  const QStringList footer = {"btn_ok", "btn_cancel"};
  const TabCase cases[] = {
      {"main window, device panel open",
       MainWindowWithPanel,
       {"btn_assign_addresses",
        "btn_system_setting",
        "btn_about",
        "edit_search",
        "btn_search",
        "combo_model",
        "btn_problems",
        "btn_show_device_info",
        "btn_refresh",
        "btn_static_ip",
        "btn_export",
        "btn_ip_sort",
        "btn_model_sort",
        "list_device",
        "btn_browse",
        "btn_hide",
        "checkbox_dhcp",
        "edit_ip",
        "edit_subnet_mask",
        "edit_gateway",
        "edit_primary_dns",
        "edit_secondary_dns",
        "edit_user_name",
        "edit_password",
        "btn_update",
        "btn_reboot",
        "btn_reset"}},
      {"settings, language",
       [](auto&) {
         return std::make_unique<CSystemSettingDlg>(nullptr, CSystemSettingDlg::kTabLanguage);
       },
       QStringList{"combo_language"} + footer},
      {"settings, network",
       [](auto&) {
         return std::make_unique<CSystemSettingDlg>(nullptr, CSystemSettingDlg::kTabNetwork);
       },
       QStringList{"combo_card"} + footer},
      {"about", [](auto&) { return std::make_unique<CAboutDlg>(nullptr); }, {"btn_web", "btn_ok"}},
      {"question",
       [](auto&) { return std::make_unique<MessageBoxDlg>(nullptr, "t", "Sure?", MB_YESNO); },
       {"btn_yes", "btn_no"}},
      {"confirmation",
       [](auto&) { return std::make_unique<MessageBoxDlg>(nullptr, "t", "Sure?", MB_OKCANCEL); },
       footer},
      {"static IP choice", [](auto&) { return std::make_unique<CSetStaticIPDlg>(nullptr, false); },
       QStringList{"checkbox_all", "btn_ip_sort", "btn_model_sort", "list_device", "btn_refresh"} +
           footer},
      {"static IP run",
       [](auto& d) { return std::make_unique<CSetStaticIPDetailDlg>(d, nullptr, false); },
       {"list_device", "btn_ok"}},
      {"upgrade",
       [](auto& d) { return std::make_unique<CUpgradeDlg>(d[0], "29.30.1.3.rom", nullptr); },
       {"btn_cancel"}},
      {"batch upgrade",
       [](auto& d) { return std::make_unique<CBatchUpgradeDlg>(d, "29.30.1.3.rom", nullptr); },
       {"table_plan", "spin_parallel", "btn_start", "btn_cancel"}},
      {"assign addresses",
       [](auto& d) { return std::make_unique<CAssignAddressDlg>(d, nullptr, false); },
       {"edit_start", "spin_step", "combo_order", "edit_mask", "edit_gateway", "edit_dns1",
        "edit_dns2", "btn_preview", "table_plan", "edit_user", "edit_password", "btn_cancel"}},
      {"batch reboot",
       [](auto& d) { return std::make_unique<CBatchRebootDlg>(d, nullptr, nullptr); },
       {"edit_user_name", "edit_password", "btn_start", "btn_cancel"}},
  };
  for (const TabCase& c : cases) {
    std::unique_ptr<QWidget> window = c.make(devices);
    auto* dlg = qobject_cast<CBaseDlg*>(window.get());
    ASSERT_TRUE(dlg && dlg->Create()) << c.window;
    window->show();
    QApplication::setActiveWindow(window.get());
    QApplication::processEvents();
    QStringList reachable = TabReachable(window.get());
    QStringList expected = c.order;
    reachable.sort();
    expected.sort();
    EXPECT_EQ(reachable.join(' ').toStdString(), expected.join(' ').toStdString())
        << c.window << ": the controls Tab should reach";
    QWidget* first = uitest::FindVisible(window.get(), c.order.front());
    ASSERT_NE(first, nullptr) << c.window;
    EXPECT_EQ(TabWalk(window.get(), first).join(' ').toStdString(), c.order.join(' ').toStdString())
        << c.window;
    if (c.order.size() >= 2) {  // for a person to look at: the focus on the primary button
      uitest::FindVisible(window.get(), c.order[c.order.size() - 2])->setFocus(Qt::TabFocusReason);
      QApplication::processEvents();
      uitest::SaveShot(window.get(),
                       QStringLiteral("tab-") + QString::fromLatin1(c.window).replace(' ', '_'));
    }
    window->hide();
  }
}
