#include "ui/main/device_list_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QListView>
#include <QTemporaryDir>
#include <vector>

#include "support/ui_driver.h"
#include "ui/main/device_list_model.h"

// The copy and upgrade buttons are drawn, not widgets: a click must reach the right row's
// handler, and a click beside them is a row click.
TEST(DeviceListView, ClicksOnDrawnButtonsNameTheirRow) {
  QString error;
  QWidget* rowTemplate = CDeviceRowPainter::LoadTemplate(IPS_SOURCE_DIR "/skin", &error);
  ASSERT_NE(rowTemplate, nullptr) << error.toStdString();

  CDeviceListModel model;
  QListView view;
  CDeviceListView binding(&view, &model, rowTemplate);
  QString search;
  model.Refresh({{"10.0.0.1", "02:00:00:00:00:01", "", "M", "1-1", "1.0"},
                 {"10.0.0.2", "02:00:00:00:00:02", "", "M", "1-2", "1.0"}},
                QString(), search);
  view.resize(1000, 300);
  view.show();
  QApplication::processEvents();
  EXPECT_EQ(view.visualRect(model.index(0)).height(), binding.Painter()->RowHeight());

  std::vector<std::pair<char, int>> clicks;
  QObject::connect(&binding, &CDeviceListView::IpCopyClicked, [&](int r) {
    clicks.push_back({'i', r});
  });
  QObject::connect(&binding, &CDeviceListView::MacCopyClicked, [&](int r) {
    clicks.push_back({'m', r});
  });
  QObject::connect(&binding, &CDeviceListView::UpgradeClicked, [&](int r) {
    clicks.push_back({'u', r});
  });
  QObject::connect(&binding, &CDeviceListView::ItemClicked, [&](int r) {
    clicks.push_back({'r', r});
  });

  for (auto part :
       {CDeviceRowPainter::kIpCopy, CDeviceRowPainter::kMacCopy, CDeviceRowPainter::kUpgrade}) {
    QRect rect = binding.PartRect(1, part);
    ASSERT_FALSE(rect.isEmpty()) << part;
    uitest::ClickAt(view.viewport(), rect.center());
  }
  uitest::ClickAt(view.viewport(), binding.PartRect(0, CDeviceRowPainter::kModel).center());
  EXPECT_EQ(clicks, (std::vector<std::pair<char, int>>{{'i', 1}, {'m', 1}, {'u', 1}, {'r', 0}}));
  // A button click does not select its row; a row click does.
  EXPECT_EQ(view.currentIndex().row(), 0);
}

// A skin without a usable row layout is reported, and the list still runs (rows are simply
// not drawn) instead of crashing.
TEST(DeviceListView, UnusableRowLayoutIsReported) {
  QTemporaryDir missing, wrongRoot;
  ASSERT_TRUE(missing.isValid() && wrongRoot.isValid());
  QFile file(wrongRoot.filePath("DeviceListItem.xml"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("<ui version=\"4.0\"><widget class=\"QWidget\" name=\"row\"/></ui>");
  file.close();

  for (const QString& dir : {missing.path(), wrongRoot.path()}) {
    QString error;
    EXPECT_EQ(CDeviceRowPainter::LoadTemplate(dir, &error), nullptr) << dir.toStdString();
    EXPECT_TRUE(error.contains("DeviceListItem.xml")) << error.toStdString();
  }

  CDeviceListModel model;
  QListView view;
  CDeviceListView binding(&view, &model, nullptr);
  QString search;
  model.Refresh({{"10.0.0.1", "02:00:00:00:00:01", "", "M", "1-1", "1.0"}}, QString(), search);
  view.resize(600, 200);
  view.show();
  QApplication::processEvents();
  int rowClicks = 0;
  QObject::connect(&binding, &CDeviceListView::ItemClicked, [&](int) { ++rowClicks; });
  EXPECT_TRUE(binding.PartRect(0, CDeviceRowPainter::kIpCopy).isEmpty());
  uitest::ClickAt(view.viewport(), view.visualRect(model.index(0)).center());
  EXPECT_EQ(rowClicks, 1);
}
