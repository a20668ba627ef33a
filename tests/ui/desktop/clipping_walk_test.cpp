// No text is cut: every window, in every shipped catalog, at the sizes the main window opens
// with on a 1366x768 and a 1920x1080 screen, with and without the device panel. Each visible
// label, button, header and search field is measured in the font it draws with against the
// room its rectangle gives it, and every problem badge of the list must show its words left of
// the device panel.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTextDocument>
#include <functional>
#include <memory>

#include "core/control/control.h"
#include "desktop/quiet_window_fixture.h"
#include "support/ui_driver.h"
#include "ui/device/device_info_view.h"
#include "ui/framework/message_box.h"
#include "ui/framework/skin_style.h"
#include "ui/framework/translate_manager.h"
#include "ui/main/device_list_model.h"
#include "ui/main/device_list_view.h"
#include "ui/main/device_site_marks.h"
#include "ui/main/main_window_placement.h"
#include "ui/main/main_wnd.h"
#include "ui/main/model_combo.h"
#include "ui/settings/about_dlg.h"
#include "ui/settings/system_setting_dlg.h"
#include "ui/staticip/set_static_ip_dlg.h"
#include "ui/upgrade/upgrade_dlg.h"

namespace {

using uitest::SaveShot;

// Where the text of a control does not fit: "<window>/<control>: '<text>' needs N px, has M".
QStringList CutTexts(QWidget* window) {
  QStringList cut;
  const QString where = window->objectName() + QLatin1Char('/');
  for (QWidget* w : window->findChildren<QWidget*>()) {
    if (!w->isVisible() || w->width() <= 0 || w->objectName() == QLatin1String("window_note"))
      continue;
    if (auto* label = qobject_cast<QLabel*>(w)) {
      const QString text = label->text();
      if (text.isEmpty() || !label->pixmap().isNull()) continue;
      // What shows of the label: its contents, less what a parent clips away.
      const QRect room = label->contentsRect()
                             .marginsRemoved(QMargins(label->margin(), label->margin(),
                                                      label->margin(), label->margin()))
                             .intersected(label->visibleRegion().boundingRect());
      if (label->wordWrap()) {
        // Wrapped: every word must fit a line, and all lines the height.
        QTextDocument doc;
        doc.setDefaultFont(label->font());
        doc.setDocumentMargin(0);
        if (Qt::mightBeRichText(text) && label->textFormat() != Qt::PlainText)
          doc.setHtml(text);
        else
          doc.setPlainText(text);
        doc.setTextWidth(room.width());
        if (doc.idealWidth() > room.width() + 1 || doc.size().height() > room.height() + 2)
          cut << where + label->objectName() +
                     QStringLiteral(": '%1' needs %2x%3 px, has %4x%5")
                         .arg(text)
                         .arg(doc.idealWidth())
                         .arg(doc.size().height())
                         .arg(room.width())
                         .arg(room.height());
        continue;
      }
      QTextDocument doc;  // rich text (the legend) is measured as drawn
      doc.setDefaultFont(label->font());
      doc.setDocumentMargin(0);
      int needed = 0;
      if (Qt::mightBeRichText(text) && label->textFormat() != Qt::PlainText) {
        doc.setHtml(text);
        needed = static_cast<int>(doc.idealWidth());
      } else {
        for (const QString& line : text.split(QLatin1Char('\n')))
          needed = std::max(needed, QFontMetrics(label->font()).horizontalAdvance(line));
      }
      if (needed > room.width())
        cut << where + label->objectName() +
                   QStringLiteral(": '%1' needs %2 px, has %3")
                       .arg(text)
                       .arg(needed)
                       .arg(room.width());
    } else if (auto* button = qobject_cast<QPushButton*>(w)) {
      if (button->text().isEmpty()) continue;
      QStyleOptionButton option;
      option.initFrom(button);
      option.text = button->text();
      option.icon = button->icon();
      option.iconSize = button->iconSize();
      const QSize needed = button->style()->sizeFromContents(
          QStyle::CT_PushButton, &option,
          QSize(QFontMetrics(button->font()).horizontalAdvance(button->text()) +
                    (button->icon().isNull() ? 0 : button->iconSize().width() + 4),
                QFontMetrics(button->font()).height()),
          button);
      if (needed.width() > button->width())
        cut << where + button->objectName() +
                   QStringLiteral(": '%1' needs %2 px, has %3")
                       .arg(button->text())
                       .arg(needed.width())
                       .arg(button->width());
    } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
      const QString text = edit->text().isEmpty() ? edit->placeholderText() : edit->text();
      if (text.isEmpty() || edit->echoMode() != QLineEdit::Normal) continue;
      // The room of the text: the field less its frame and padding and, for a field that
      // clears, the clear button's place.
      const int clear = edit->isClearButtonEnabled() ? edit->height() - 8 : 0;
      const int room = edit->width() - 2 * 9 - clear;
      const int needed = QFontMetrics(edit->font()).horizontalAdvance(text);
      if (needed > room)
        cut << where + edit->objectName() +
                   QStringLiteral(": '%1' needs %2 px, has %3").arg(text).arg(needed).arg(room);
    }
  }
  return cut;
}

// Problem badges that do not show their words: shrunk to a bare "!" for want of room, or laid
// under the device panel. Every row of the list counts, shown or scrolled away.
QStringList UnreadableBadges(CMainWnd* wnd) {
  QStringList faults;
  const CDeviceListModel* model = wnd->GetDeviceListModel();
  QWidget* viewport = wnd->findChild<QListView*>(QStringLiteral("list_device"))->viewport();
  CDeviceInfoView* panel = wnd->GetDeviceInfoView();
  const int panelLeft = panel->isVisible()
                            ? viewport->mapFromGlobal(panel->mapToGlobal(QPoint(0, 0))).x()
                            : viewport->width();
  for (int row = 0; row < model->Count(); ++row) {
    const std::string& mac = model->RowAt(row)->Device().mac;
    const int needed = wnd->GetSiteMarks().BadgeWidth(mac);
    if (needed == 0) continue;
    const QRect badge = wnd->GetDeviceListView()->ButtonRect(row, QStringLiteral("badge"));
    const QString text = wnd->GetSiteMarks().BadgeText(mac);
    if (badge.width() < needed)
      faults << QStringLiteral("badge '%1' shows as '!': needs %2 px, has %3")
                    .arg(text)
                    .arg(needed)
                    .arg(badge.width());
    else if (badge.right() >= panelLeft)
      faults << QStringLiteral("badge '%1' lies under the device panel").arg(text);
  }
  return faults;
}

QStringList Catalogs() {
  QDir dir(QStringLiteral(IPS_SOURCE_DIR "/Language"));
  QStringList paths;
  for (const QString& name : dir.entryList({QStringLiteral("*.txt")}, QDir::Files))
    paths << dir.filePath(name);
  return paths;
}

// Shows `window` at its own size (or `size`), lets the layouts settle and measures it.
QStringList Measure(QWidget* window, const QSize& size = QSize()) {
  if (size.isValid()) window->resize(size);
  window->show();
  QApplication::processEvents();
  QApplication::processEvents();
  return CutTexts(window);
}

class ClippingWalk : public QuietWindowTest {
protected:
  void SetUp() override {
    QuietWindowTest::SetUp();
    // A site like a real one: long model names, a problem, a device reporting no model.
    const DEVICE_ENTRY_T devices[] = {
        {"192.168.100.201", "02:1A:2B:00:00:01", "02:1A:2B:00:00:01", "DS-410 Apartment", "1-0101",
         "29.30.1.2"},
        {"192.168.100.202", "021a2b000002", "021a2b000002", "IM-700 Indoor Monitor", "12-1204",
         "105.2.0.7"},
        {"192.168.100.202", "021A2B00000D", "021A2B00000D", "IM-700 Indoor Monitor", "12-1205",
         "105.2.0.7"},
        // The longest badge: the room of the first, on a unit of the same kind.
        {"192.168.100.203", "02-1a-2b-00-00-0e", "02-1a-2b-00-00-0e", "DS-410 Apartment", "1-0101",
         "29.30.1.2"},
    };
    for (const DEVICE_ENTRY_T& d : devices) CControl::GetInstance()->UpdateDevice(d);
    const char* models[] = {"DS-410", "IM-700", "IM-720 Touch", "DS-210", "Lobby Panel X", ""};
    for (int i = 0; i < 24; ++i) {
      const std::string n = std::to_string(10 + i);
      CControl::GetInstance()->UpdateDevice(
          {"192.168.100." + n, "02:1a:2b:00:01:" + n, "02:1a:2b:00:01:" + n, models[i % 6],
           std::to_string(1 + i / 4) + "-0" + std::to_string(100 + i), "29.30.1." + n});
    }
  }
  void TearDown() override {
    QuietWindowTest::TearDown();
    CTranslateManager::GetInstance()->LoadLanguage(QString());
  }
};

TEST_F(ClippingWalk, TheMainWindowAtBothScreenSizesWithAndWithoutThePanel) {
  const QRect screens[] = {QRect(0, 0, 1366, 768 - 32), QRect(0, 0, 1920, 1080 - 40)};
  for (const QString& catalog : Catalogs()) {
    ASSERT_TRUE(CTranslateManager::GetInstance()->LoadLanguage(catalog));
    for (const QRect& screen : screens) {
      for (bool panel : {false, true}) {
        CMainWnd wnd;
        ASSERT_TRUE(wnd.Create());
        wnd.RefreshDeviceList();
        if (panel) {
          wnd.GetDeviceInfoView()->SetDeviceInfo(wnd.GetDeviceListModel()->RowAt(0)->Device());
          wnd.GetDeviceInfoView()->setVisible(true);
        }
        const QSize size = FirstOpenSize(screen, wnd.minimumSize());
        QStringList cut = Measure(&wnd, size);
        cut << UnreadableBadges(&wnd);
        SaveShot(&wnd, QStringLiteral("%1-%2x%3%4")
                           .arg(QFileInfo(catalog).baseName())
                           .arg(screen.width())
                           .arg(screen.height() + (screen.width() == 1366 ? 32 : 40))
                           .arg(panel ? "-panel" : ""));
        EXPECT_TRUE(cut.isEmpty())
            << QFileInfo(catalog).baseName().toStdString() << " " << size.width() << "x"
            << size.height() << (panel ? " with the panel:\n" : ":\n")
            << cut.join('\n').toStdString();
      }
    }
  }
}

TEST_F(ClippingWalk, EveryDialogInEveryCatalog) {
  const DEVICE_ENTRY_T device = CControl::GetInstance()->GetDeviceList().front();
  const std::vector<std::pair<const char*, std::function<std::unique_ptr<QWidget>()>>> windows = {
      {"settings, language",
       [] {
         return std::make_unique<CSystemSettingDlg>(nullptr, CSystemSettingDlg::kTabLanguage);
       }},
      {"settings, network",
       [] { return std::make_unique<CSystemSettingDlg>(nullptr, CSystemSettingDlg::kTabNetwork); }},
      {"about", [] { return std::make_unique<CAboutDlg>(nullptr); }},
      {"message box",
       [device] {
         return std::make_unique<MessageBoxDlg>(
             nullptr, TrText("Reboot"), TrText("Are you sure you want to reboot this device?"),
             MB_YESNO);
       }},
      {"static IP choice", [] { return std::make_unique<CSetStaticIPDlg>(nullptr, false); }},
      {"upgrade",
       [device] { return std::make_unique<CUpgradeDlg>(device, "29.30.1.3.rom", nullptr); }},
  };
  for (const QString& catalog : Catalogs()) {
    ASSERT_TRUE(CTranslateManager::GetInstance()->LoadLanguage(catalog));
    for (const auto& [name, make] : windows) {
      std::unique_ptr<QWidget> window = make();
      auto* dlg = qobject_cast<CBaseDlg*>(window.get());
      ASSERT_TRUE(dlg && dlg->Create()) << name;
      const QStringList cut = Measure(window.get());
      SaveShot(window.get(),
               QFileInfo(catalog).baseName() + QLatin1Char('-') +
                   QString::fromLatin1(name).replace(QLatin1Char(' '), QLatin1Char('_')));
      EXPECT_TRUE(cut.isEmpty()) << QFileInfo(catalog).baseName().toStdString() << " " << name
                                 << ":\n"
                                 << cut.join('\n').toStdString();
      window->hide();
    }
  }
}

}  // namespace
