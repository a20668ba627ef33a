#include "ui/main/model_combo.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <map>
#include <string>
#include <vector>

#include "shell/global_utils.h"
#include "support/ui_driver.h"
#include "support/widget_actions.h"
#include "ui/framework/notify_hub.h"
#include "ui/settings/about_dlg.h"

TEST(ModelComboDropDown, OpensUpwardsWhenThereIsNoRoomBelow) {
  const QRect workArea(0, 0, 1920, 1040);
  struct Case {
    const char* name;
    QRect combo;
    QSize drop;
    QRect expected;
  } cases[] = {
      {"below", QRect(100, 200, 210, 34), QSize(210, 300), QRect(100, 236, 210, 300)},
      {"own width", QRect(100, 200, 210, 34), QSize(260, 300), QRect(100, 236, 260, 300)},
      {"no width takes the combo's", QRect(100, 200, 210, 34), QSize(0, 300),
       QRect(100, 236, 210, 300)},
      {"near the bottom: above", QRect(100, 900, 210, 34), QSize(210, 300),
       QRect(100, 598, 210, 300)},
      {"bottom exactly fits", QRect(100, 702, 210, 34), QSize(210, 300), QRect(100, 738, 210, 300)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CModelComboDlg::DropDownRect(c.combo, c.drop, 2, workArea), c.expected) << c.name;
  }
}

// The entries come from the shipped catalog next to the test binary.
TEST(ModelCombo, EntriesFilterAndChoiceFollowTheCatalog) {
  const std::map<std::string, std::string> catalog = CGlobalUtils::ReadModelNameMap();
  ASSERT_GE(catalog.size(), 3u) << "config/ModelName.ini next to the test binary";

  QWidget host;
  CNotifyHub hub(&host, nullptr);
  auto* combo = new CModelCombo(&host);
  hub.Attach(&host);
  std::vector<QString> selects;
  QObject::connect(combo, &QComboBox::currentIndexChanged,
                   [&](int i) { selects.push_back(combo->itemData(i).toString()); });

  ASSERT_EQ(combo->count(), static_cast<int>(catalog.size()) + 1);
  EXPECT_EQ(combo->itemText(0), "All");
  EXPECT_EQ(combo->GetSelectedValue(), "");
  int i = 1;
  for (const auto& [name, prefix] : catalog)
    EXPECT_EQ(combo->itemData(i++).toString().toStdString(), name);

  combo->SelectByValue("no such model", true);
  EXPECT_EQ(combo->currentIndex(), 0);
  combo->SelectByValue(combo->itemData(2).toString(), false);
  EXPECT_EQ(combo->currentIndex(), 2);
  EXPECT_TRUE(selects.empty()) << "no notification without notify";

  host.resize(400, 200);
  host.show();
  combo->showPopup();
  QPointer<CModelComboDlg> drop = combo->GetDropDown();
  ASSERT_NE(drop, nullptr);
  ASSERT_NE(drop->GetList(), nullptr);
  ASSERT_NE(drop->GetSearchBox(), nullptr);
  QListWidget* list = drop->GetList();
  ASSERT_EQ(list->count(), combo->count());
  EXPECT_EQ(list->currentRow(), 2) << "opens on the selected entry";

  // Filter by a lower-case middle part of the last model name: a substring test ignoring case.
  const QString last = QString::fromStdString(catalog.rbegin()->first);
  const QString part = last.mid(1, 4).toLower();
  drop->GetSearchBox()->setText(part);
  int shown = 0;
  for (int r = 0; r < list->count(); ++r) {
    bool match = list->item(r)->text().toUpper().contains(part.toUpper());
    EXPECT_EQ(!list->item(r)->isHidden(), match) << list->item(r)->text().toStdString();
    shown += match;
  }
  EXPECT_GE(shown, 1);
  EXPECT_LT(shown, list->count());

  // Choosing in the filtered list selects the same entry in the combo and closes. (Typing
  // marked the first match already, so the choice is the click on it.)
  QListWidgetItem* lastItem = list->item(list->count() - 1);
  uitest::ClickAt(list->viewport(), list->visualItemRect(lastItem).center());
  EXPECT_EQ(combo->GetSelectedValue(), last);
  ASSERT_FALSE(selects.empty());
  EXPECT_EQ(selects.back(), last);
  EXPECT_EQ(drop->result(), IDOK);
  EXPECT_FALSE(drop->isVisible());
  QApplication::processEvents();
  EXPECT_EQ(combo->GetDropDown(), nullptr);
}

TEST(AboutDlg, ShowsTheVersionAndOpensTheSite) {
  std::vector<QUrl> opened;
  CAboutDlg::SetOpenUrlHook([&](const QUrl& url) { opened.push_back(url); });
  QWidget parent;
  parent.show();
  CAboutDlg dlg(&parent);
  bool stayedOpen = false;
  uitest::WhenModalShown([&](QWidget* modal) {
    EXPECT_EQ(uitest::ReadLabel(modal, "lab_ver").toStdString(),
              CGlobalUtils::GetFileVersionText());
    EXPECT_FALSE(parent.isEnabled()) << "the mask covers the parent while the box runs";
    uitest::ClickControl(modal, "btn_web");
    stayedOpen = modal->isVisible();
    uitest::ClickControl(modal, "btn_ok");
  });
  EXPECT_EQ(dlg.DoModal(), IDOK);
  EXPECT_FALSE(CGlobalUtils::GetFileVersionText().empty());
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].toString(), QString::fromLatin1(CAboutDlg::kWebSite));
  EXPECT_TRUE(stayedOpen) << "the web button keeps the box open";
  EXPECT_TRUE(parent.isEnabled());
  CAboutDlg::SetOpenUrlHook({});
}

// The catalog is read again whenever the drop-down opens: a new model shows up, and a selected
// model that has left the catalog gives way to "All", which the window hears about.
TEST(ModelCombo, ReopeningRereadsTheCatalog) {
  std::map<std::string, std::string> catalog = {{"Alpha", "1"}, {"Beta", "2"}, {"Gamma", "3"}};
  CModelCombo::SetCatalogReader([&] { return catalog; });
  // Counts what the window would hear: "itemselect" notifications of the combo.
  struct Pump : CNotifyPump {
    int itemSelects = 0;
    bool DispatchNotify(TNotifyMsg& msg) override {
      if (msg.sType == kNotifyItemSelect) ++itemSelects;
      return true;
    }
  } pump;
  QWidget host;
  CNotifyHub hub(&host, &pump);
  auto* combo = new CModelCombo(&host);
  hub.Attach(&host);
  host.show();
  int& notified = pump.itemSelects;

  auto reopen = [&] {
    combo->showPopup();
    QPointer<CModelComboDlg> drop = combo->GetDropDown();
    EXPECT_NE(drop, nullptr);
    QStringList shown;
    if (drop && drop->GetList()) {
      for (int r = 0; r < drop->GetList()->count(); ++r) shown << drop->GetList()->item(r)->text();
    }
    combo->hidePopup();
    QApplication::processEvents();
    return shown;
  };

  combo->SelectByValue("Beta", true);
  EXPECT_EQ(notified, 1);
  catalog["Delta"] = "4";
  EXPECT_EQ(reopen(), (QStringList{"All", "Alpha", "Beta", "Delta", "Gamma"}));
  EXPECT_EQ(combo->GetSelectedValue(), "Beta") << "the selection follows the model, not the index";

  catalog.erase("Beta");
  int before = notified;
  EXPECT_EQ(reopen(), (QStringList{"All", "Alpha", "Delta", "Gamma"}));
  EXPECT_EQ(combo->GetSelectedValue(), "");
  EXPECT_EQ(combo->currentIndex(), 0);
  EXPECT_EQ(notified, before + 1);
  CModelCombo::SetCatalogReader({});
}

// While the drop-down is open every press goes to it, also those on the combo or the toolbar
// above it (near its top edge, where an ordinary frameless window has its caption strip): each
// closes it with code 2 instead of being taken for a drag.
TEST(ModelCombo, PressOutsideTheOpenDropDownClosesItWithCancel) {
  std::map<std::string, std::string> catalog = {{"Alpha", "1"}, {"Beta", "2"}};
  CModelCombo::SetCatalogReader([&] { return catalog; });
  QWidget host;
  CNotifyHub hub(&host, nullptr);
  auto* refresh = new QPushButton(QStringLiteral("Refresh"), &host);
  refresh->setGeometry(10, 10, 80, 30);
  auto* combo = new CModelCombo(&host);
  combo->setGeometry(10, 50, 200, 30);
  hub.Attach(&host);
  host.resize(600, 400);
  host.show();
  for (QWidget* target : {static_cast<QWidget*>(combo), static_cast<QWidget*>(refresh)}) {
    combo->showPopup();
    QPointer<CModelComboDlg> drop = combo->GetDropDown();
    ASSERT_NE(drop, nullptr);
    ASSERT_TRUE(uitest::WaitUntil([&] { return drop->isVisible(); }));
    const QPoint at = drop->mapFromGlobal(target->mapToGlobal(target->rect().center()));
    ASSERT_FALSE(drop->rect().contains(at));
    uitest::ClickAt(drop, at);
    EXPECT_TRUE(uitest::WaitUntil([&] { return !drop || !drop->isVisible(); }))
        << target->metaObject()->className();
    if (drop) {
      EXPECT_EQ(drop->result(), IDCANCEL);
    }
    QApplication::processEvents();
    EXPECT_EQ(combo->GetDropDown(), nullptr);
    combo->hidePopup();
  }
  CModelCombo::SetCatalogReader({});
}

// Names show whole: the drop-down is as wide as the longest one, but never wider than the screen.
TEST(ModelCombo, DropDownIsAsWideAsTheLongestNameWithinTheScreen) {
  const std::string longName = "Outdoor Station with Keypad, Card Reader and Camera (2-wire)";
  std::map<std::string, std::string> catalog = {{"A", "1"}, {longName, "2"}};
  CModelCombo::SetCatalogReader([&] { return catalog; });
  QWidget host;
  CNotifyHub hub(&host, nullptr);
  auto* combo = new CModelCombo(&host);
  combo->setGeometry(10, 10, 120, 30);
  hub.Attach(&host);
  host.resize(300, 200);
  host.show();
  combo->showPopup();
  QPointer<CModelComboDlg> drop = combo->GetDropDown();
  ASSERT_NE(drop, nullptr);
  QListWidget* list = drop->GetList();
  ASSERT_NE(list, nullptr);
  const int textWidth =
      QFontMetrics(list->font()).horizontalAdvance(QString::fromStdString(longName));
  EXPECT_GE(list->viewport()->width(), textWidth);
  EXPECT_EQ(drop->screen(), combo->screen());
  combo->hidePopup();
  QApplication::processEvents();

  catalog = {{std::string(3000, 'W'), "1"}};
  combo->showPopup();
  drop = combo->GetDropDown();
  ASSERT_NE(drop, nullptr);
  EXPECT_LE(drop->width(), combo->screen()->availableGeometry().width());
  combo->hidePopup();
  QApplication::processEvents();
  CModelCombo::SetCatalogReader({});
}
