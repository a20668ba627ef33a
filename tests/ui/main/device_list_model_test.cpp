#include "ui/main/device_list_model.h"

#include <gtest/gtest.h>

#include <QPersistentModelIndex>
#include <string>
#include <vector>

namespace {

DEVICE_ENTRY_T Dev(const std::string& ip, const std::string& mac, const std::string& model = "M1",
                   const std::string& room = "1-1", const std::string& fw = "1.0.0.1") {
  return DEVICE_ENTRY_T{ip, mac, mac, model, room, fw};
}

std::vector<std::string> Macs(const CDeviceListModel& model) {
  std::vector<std::string> macs;
  for (int i = 0; i < model.Count(); ++i) macs.push_back(model.RowAt(i)->Device().mac);
  return macs;
}

void Refresh(CDeviceListModel& model, const std::vector<DEVICE_ENTRY_T>& table,
             const QString& filter = QString(), QString search = QString()) {
  model.Refresh(table, filter, search);
}

}  // namespace

TEST(DeviceRowCompare, OrdersByStateThenMac) {
  struct Case {
    const char* name;
    DEVICE_ENTRY_T a, b;
    int ipState, modelState, expected;
  } cases[] = {
      {"numeric, not text order", Dev("192.168.1.20", "AA"), Dev("192.168.1.3", "BB"), 1, 0, 1},
      {"descending flips", Dev("192.168.1.20", "AA"), Dev("192.168.1.3", "BB"), 2, 0, -1},
      {"leading zeros are decimal", Dev("10.0.0.010", "AA"), Dev("10.0.0.9", "BB"), 1, 0, 1},
      {"invalid IP falls back to MAC", Dev("10.0.0.300", "AA"), Dev("10.0.0.1", "BB"), 1, 0, -1},
      {"equal IPs fall back to MAC", Dev("10.0.0.1", "bb"), Dev("10.0.0.1", "AA"), 2, 0, 1},
      {"model ignores case", Dev("1.1.1.1", "AA", "beta"), Dev("1.1.1.2", "BB", "ALPHA"), 0, 1, 1},
      {"model descending", Dev("1.1.1.1", "AA", "beta"), Dev("1.1.1.2", "BB", "ALPHA"), 0, 2, -1},
      {"same model, MAC ascending", Dev("9.9.9.9", "aa", "X"), Dev("1.1.1.1", "BB", "x"), 0, 2, -1},
      {"both off: MAC", Dev("9.9.9.9", "aa"), Dev("1.1.1.1", "BB"), 0, 0, -1},
  };
  for (const Case& c : cases) {
    CDeviceListItem a(c.a), b(c.b);
    int got = CDeviceListModel::CompareDeviceRows(&a, &b, c.ipState, c.modelState);
    EXPECT_EQ((got > 0) - (got < 0), c.expected) << c.name;
  }
  CDeviceListItem a(Dev("1.1.1.1", "AA"));
  EXPECT_EQ(CDeviceListModel::CompareDeviceRows(&a, nullptr, 1, 0), 1);
  EXPECT_EQ(CDeviceListModel::CompareDeviceRows(nullptr, &a, 1, 0), 1);
}

TEST(DeviceListModel, SortsAndNumbersRowsFromOne) {
  CDeviceListModel model;
  std::vector<DEVICE_ENTRY_T> table = {Dev("192.168.1.20", "A1", "Zeta"),
                                       Dev("192.168.1.3", "A2", "alpha"),
                                       Dev("192.168.1.100", "A3", "Beta")};
  Refresh(model, table);  // IP ascending at start
  EXPECT_EQ(Macs(model), (std::vector<std::string>{"A2", "A1", "A3"}));
  for (int i = 0; i < model.Count(); ++i) EXPECT_EQ(model.RowAt(i)->GetIndex(), unsigned(i + 1));
  EXPECT_EQ(model.data(model.index(0), CDeviceListModel::IndexRole).toUInt(), 1u);

  model.SetSortStates(2, 0);
  Refresh(model, table);
  EXPECT_EQ(Macs(model), (std::vector<std::string>{"A3", "A1", "A2"}));

  model.SetSortStates(0, 1);
  Refresh(model, table);
  EXPECT_EQ(Macs(model), (std::vector<std::string>{"A2", "A3", "A1"}));

  // Both off: rows stay in the order they were added.
  model.SetSortStates(0, 0);
  model.RemoveAll();
  Refresh(model, table);
  EXPECT_EQ(Macs(model), (std::vector<std::string>{"A1", "A2", "A3"}));
}

TEST(DeviceListModel, SearchComparesUpperCasedTexts) {
  std::vector<DEVICE_ENTRY_T> table = {Dev("10.0.0.1", "02:1A:2B:3C:4D:5E", "Door"),
                                       Dev("10.0.0.2", "02:00:00:00:00:01", "Indoor", "7-1-2")};
  struct Case {
    const char* search;
    std::vector<std::string> macs;
  } cases[] = {
      {"1a:2b", {"02:1A:2B:3C:4D:5E"}},
      {"1A2B", {"02:1A:2B:3C:4D:5E"}},    // a MAC matches without its ':' too
      {"indoor", {"02:00:00:00:00:01"}},  // model
      {"7-1", {"02:00:00:00:00:01"}},     // room number
      {"10.0.0.", {"02:1A:2B:3C:4D:5E", "02:00:00:00:00:01"}},
      {"", {"02:1A:2B:3C:4D:5E", "02:00:00:00:00:01"}},
  };
  for (const Case& c : cases) {
    CDeviceListModel model;
    QString search = QString::fromUtf8(c.search);
    model.Refresh(table, QString(), search);
    EXPECT_EQ(search, QString::fromUtf8(c.search).toUpper()) << "kept upper-cased";
    EXPECT_EQ(Macs(model), c.macs) << c.search;
  }
}

TEST(DeviceListModel, ModelFilterIgnoresCaseAndEmptyMeansAll) {
  std::vector<DEVICE_ENTRY_T> table = {Dev("10.0.0.1", "A1", "ModelX"),
                                       Dev("10.0.0.2", "A2", "Other"),
                                       Dev("10.0.0.3", "", "ModelX")};  // no MAC: never listed
  CDeviceListModel model;
  Refresh(model, table, "modelx");
  EXPECT_EQ(Macs(model), (std::vector<std::string>{"A1"}));
  model.RemoveAll();
  Refresh(model, table, "");
  EXPECT_EQ(Macs(model), (std::vector<std::string>{"A1", "A2"}));
}

TEST(DeviceListModel, OneRowPerMacIgnoringCaseAndRowsOutliveTheirDevice) {
  CDeviceListModel model;
  Refresh(model, {Dev("10.0.0.1", "aa:bb:cc:00:00:01", "M1", "1", "1.0"),
                  Dev("10.0.0.2", "AA:BB:CC:00:00:01", "M1", "1", "2.0")});
  ASSERT_EQ(model.Count(), 1);
  EXPECT_EQ(model.RowAt(0)->Device().firmware, "2.0");
  EXPECT_EQ(model.FindRow("Aa:Bb:cC:00:00:01"), 0);

  // The device leaves the table: its row stays until the list is emptied.
  Refresh(model, {Dev("10.0.0.9", "02:00:00:00:00:09")});
  EXPECT_EQ(model.Count(), 2);
  model.RemoveAll();
  Refresh(model, {Dev("10.0.0.9", "02:00:00:00:00:09")});
  EXPECT_EQ(Macs(model), (std::vector<std::string>{"02:00:00:00:00:09"}));
}

TEST(DeviceListModel, SignalsOnlyWhatChanged) {
  CDeviceListModel model;
  std::vector<std::pair<int, int>> inserted, changed;
  int layouts = 0;
  QObject::connect(&model, &QAbstractItemModel::rowsInserted,
                   [&](const QModelIndex&, int first, int last) {
                     inserted.push_back({first, last});
                   });
  QObject::connect(&model, &QAbstractItemModel::dataChanged,
                   [&](const QModelIndex& tl, const QModelIndex& br) {
                     changed.push_back({tl.row(), br.row()});
                   });
  QObject::connect(&model, &QAbstractItemModel::layoutChanged, [&] { ++layouts; });

  std::vector<DEVICE_ENTRY_T> table;
  for (int i = 1; i <= 5; ++i)
    table.push_back(Dev("10.0.0." + std::to_string(i), "M" + std::to_string(i)));
  Refresh(model, table);
  EXPECT_EQ(inserted, (std::vector<std::pair<int, int>>{{0, 4}}));  // one batch, inclusive last
  inserted.clear();
  changed.clear();

  Refresh(model, table);  // nothing changed: no signal at all
  EXPECT_TRUE(inserted.empty());
  EXPECT_TRUE(changed.empty());
  EXPECT_EQ(layouts, 0);

  table[1].deviceId = "9-9";
  table[3].firmware = "2.0";
  Refresh(model, table);
  EXPECT_EQ(changed, (std::vector<std::pair<int, int>>{{1, 3}}));  // one signal over the range
  EXPECT_EQ(model.RowAt(1)->RoomText(), "9-9");
  EXPECT_EQ(layouts, 0);

  // A new lower address sorts to the top: rows move and a kept index follows its row.
  QPersistentModelIndex kept(model.index(4));
  table.push_back(Dev("10.0.0.0", "M0"));
  Refresh(model, table);
  EXPECT_EQ(layouts, 1);
  EXPECT_EQ(kept.row(), 5);
  EXPECT_EQ(model.RowAt(0)->Device().mac, "M0");
}

TEST(DeviceListModel, MixedValidAndInvalidAddressesSortWithoutFault) {
  // The pairwise rule is not transitive here (a<b and b<c by MAC, c<a by IP): the sort must
  // still finish with every row kept once.
  CDeviceListModel model;
  std::vector<DEVICE_ENTRY_T> table;
  for (int i = 0; i < 300; ++i) {
    std::string ip = (i % 3 == 0) ? "bad" : "10.0." + std::to_string(299 - i) + ".1";
    table.push_back(Dev(ip, "MAC" + std::to_string(1000 + i)));
  }
  Refresh(model, table);
  EXPECT_EQ(model.Count(), 300);
  Refresh(model, table);
  EXPECT_EQ(model.Count(), 300);
}
