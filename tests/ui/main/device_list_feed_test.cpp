#include "ui/main/device_list_feed.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QObject>
#include <chrono>

#include "core/common/op_clock.h"
#include "core/control/control.h"

using namespace std::chrono_literals;

namespace {

DEVICE_ENTRY_T Device(const char* mac, const char* ip) {
  return DEVICE_ENTRY_T{ip, mac, mac, "Indoor Monitor", "1-1-1", "29.30.1.2"};
}

// The feed over a control core of its own, with a tracker on a hand-moved clock.
struct FeedSite {
  QObject owner;
  CControl control;
  CManualOpClock clock;
  int recorded = 0;
  std::shared_ptr<DEVICE_LIST_LOOK_T> delivered;
  std::unique_ptr<CDeviceListFeed> feed;

  FeedSite() {
    control.DeviceStatus().SetClock(&clock);
    CDeviceListFeed::SOURCES_T sources;
    sources.table = [this](uint64_t* version) { return control.GetDeviceList(version); };
    sources.tableVersion = [this] { return control.DeviceTableVersion(); };
    sources.status = [this] { return control.DeviceStatus().Snapshot(); };
    sources.statusChanged = [this](const STATUS_STAMP_T& since, std::chrono::milliseconds* now) {
      return control.DeviceStatus().ChangedSince(since, now);
    };
    sources.subnets = [] { return std::vector<IPV4_SUBNET_T>{}; };
    sources.record = [this](const std::vector<DEVICE_ENTRY_T>&, const SiteProblemMap&) {
      ++recorded;
    };
    feed = std::make_unique<CDeviceListFeed>(
        &owner, std::move(sources),
        [this](std::shared_ptr<DEVICE_LIST_LOOK_T> look) { delivered = std::move(look); });
  }
  ~FeedSite() { feed->Stop(); }

  // A discovery round in which the devices given answer as before (the table stays as it is).
  void Round(std::initializer_list<DEVICE_ENTRY_T> answering) {
    control.DeviceStatus().BeginRound();
    clock.Advance(10ms);
    for (const DEVICE_ENTRY_T& d : answering) {
      control.UpdateDevice(d);
      control.DeviceStatus().OnAnswer(d.mac);
    }
    clock.Advance(4990ms);
  }

  std::shared_ptr<DEVICE_LIST_LOOK_T> Look() {
    delivered.reset();
    feed->Ask(DEVICE_LIST_ASK_T{1, {}, {}, false, false});
    QElapsedTimer waited;
    waited.start();
    while (!delivered && waited.elapsed() < 5000) QCoreApplication::processEvents();
    return delivered;
  }
};

// Devices answer the same every round: the looks skip the table, yet a device that stops
// answering still reaches the list as missing with the look that follows.
TEST(DeviceListFeed, AnUnchangedTableStillBringsADeviceGoingMissing) {
  FeedSite site;
  const DEVICE_ENTRY_T a = Device("02:1A:2B:00:00:01", "10.0.0.1");
  const DEVICE_ENTRY_T b = Device("02:1A:2B:00:00:02", "10.0.0.2");
  site.Round({a, b});

  auto look = site.Look();
  ASSERT_NE(look, nullptr);
  EXPECT_FALSE(look->siteKept);
  EXPECT_EQ(look->rows.size(), 2u);
  EXPECT_EQ(look->onlineCount, 2);
  EXPECT_EQ(site.recorded, 1);

  site.Round({a, b});
  look = site.Look();
  ASSERT_NE(look, nullptr);
  EXPECT_TRUE(look->siteKept) << "nothing moved";
  EXPECT_TRUE(look->rows.empty());
  EXPECT_EQ(look->tableCount, 2);
  EXPECT_EQ(look->onlineCount, 2);
  EXPECT_EQ(look->site.status.now, site.clock.Now()) << "the list's clock still moves";

  // b falls silent; a answers as before. Once three rounds went by without b, it is missing.
  for (int round = 0; round < 3; ++round) site.Round({a});
  site.control.DeviceStatus().BeginRound();
  look = site.Look();
  ASSERT_NE(look, nullptr);
  EXPECT_FALSE(look->siteKept);
  EXPECT_TRUE(look->rows.empty()) << "no text changed";
  EXPECT_EQ(look->tableCount, 2);
  EXPECT_EQ(look->onlineCount, 1);
  EXPECT_EQ(look->site.status.LiveOf(b.mac).status, EDeviceStatus::kMissing);
  EXPECT_EQ(site.recorded, 1) << "the table and its problems are as recorded";

  // A text that changes goes to the list and the record.
  DEVICE_ENTRY_T moved = a;
  moved.ip = "10.0.0.9";
  site.control.UpdateDevice(moved);
  look = site.Look();
  ASSERT_NE(look, nullptr);
  ASSERT_EQ(look->rows.size(), 1u);
  EXPECT_EQ(look->rows[0]->Device().ip, "10.0.0.9");
  EXPECT_EQ(site.recorded, 2);
}

}  // namespace
