#include "core/control/site_look.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/common/op_clock.h"

using namespace std::chrono_literals;

namespace {

const std::vector<IPV4_SUBNET_T> kLan = {{0x0AD50101, 0xFFFF0000}};

DEVICE_ENTRY_T Device(const std::string& mac, const std::string& ip) {
  return DEVICE_ENTRY_T{ip, mac, mac, "DS-210 Door Station", mac, "12.30.1.1"};
}

// A table the test edits (each edit moves its version, as the control core's does), a real
// status tracker on a manual clock, and counts of what each look read and recorded.
struct Site {
  CManualOpClock clock;
  CDeviceStatusTracker tracker;
  std::vector<DEVICE_ENTRY_T> table;
  uint64_t version = 1;
  std::vector<IPV4_SUBNET_T> subnets = kLan;
  int tableCopies = 0, snapshots = 0, subnetReads = 0;
  std::vector<SiteProblemMap> recorded;
  CSiteLook look;

  Site()
      : look(Sources(), [this](const auto&, const SiteProblemMap& p) { recorded.push_back(p); }) {
    tracker.SetClock(&clock);
    look.Watch();
  }
  SITE_LOOK_SOURCES_T Sources() {
    SITE_LOOK_SOURCES_T s;
    s.table = [this](uint64_t* v) {
      ++tableCopies;
      *v = version;
      return table;
    };
    s.tableVersion = [this] { return version; };
    s.status = [this] {
      ++snapshots;
      return tracker.Snapshot();
    };
    s.statusChanged = [this](const STATUS_STAMP_T& since, std::chrono::milliseconds* now) {
      return tracker.ChangedSince(since, now);
    };
    s.subnets = [this] {
      ++subnetReads;
      return subnets;
    };
    return s;
  }
  void Set(std::vector<DEVICE_ENTRY_T> devices) {
    table = std::move(devices);
    ++version;
  }
  // A discovery round of 5 s in which the devices listed answer.
  void Round(std::initializer_list<const char*> answering) {
    tracker.BeginRound();
    clock.Advance(10ms);
    for (const char* mac : answering) tracker.OnAnswer(mac);
    clock.Advance(4990ms);
  }
  std::vector<std::string> ChangedMacs(const SITE_NOW_T& now) const {
    std::vector<std::string> macs;
    for (size_t i : now.changed) macs.push_back((*now.table)[i].mac);
    return macs;
  }
  static std::vector<std::string> Events(const SITE_NOW_T& now) {
    std::vector<std::string> lines;
    for (const SITE_EVENT_T& e : now.events) {
      lines.push_back(std::string(CSiteWatch::EventName(e.kind)) + " " + e.device.mac);
    }
    return lines;
  }
};

using Macs = std::vector<std::string>;

// The look the site agent and the window make every second: when neither the table nor the
// tracker moved, it copies no table, takes no snapshot, records nothing and reports nothing;
// only the clock moves.
TEST(SiteLook, AnUnchangedSecondReadsAndReportsNothing) {
  Site site;
  site.Set({Device("A", "10.213.1.1"), Device("B", "10.213.1.2")});
  site.Round({"A", "B"});
  const SITE_NOW_T& first = site.look.Look();
  EXPECT_TRUE(first.tableChanged);
  EXPECT_EQ(site.ChangedMacs(first), (Macs{"A", "B"}));
  EXPECT_EQ(first.onlineCount, 2);
  ASSERT_EQ(site.recorded.size(), 1u);

  const int copies = site.tableCopies, snapshots = site.snapshots;
  for (int second = 0; second < 4; ++second) {
    site.clock.Advance(1000ms);
    const SITE_NOW_T& now = site.look.Look();
    EXPECT_TRUE(now.Kept());
    EXPECT_TRUE(now.changed.empty());
    EXPECT_TRUE(now.events.empty());
    EXPECT_EQ(now.now, site.clock.Now());
    EXPECT_EQ(now.status->now, site.clock.Now());  // "last seen" texts follow the clock
    EXPECT_EQ(now.onlineCount, 2);
  }
  EXPECT_EQ(site.tableCopies, copies);
  EXPECT_EQ(site.snapshots, snapshots);
  EXPECT_EQ(site.recorded.size(), 1u);
  // Asked for fresh statuses, it takes a snapshot but still finds nothing changed.
  EXPECT_FALSE(site.look.Look(true).Kept());
  EXPECT_EQ(site.snapshots, snapshots + 1);
  EXPECT_TRUE(site.look.Last().changed.empty());
}

// Only the devices that changed are reported, whatever moved: the entry, the status, a new
// device, one that left the table. A status change alone works no problems out again.
TEST(SiteLook, ReportsTheDevicesThatChangedAndOnlyThem) {
  Site site;
  site.Set({Device("A", "10.213.1.1"), Device("B", "10.213.1.2"), Device("C", "10.213.1.3")});
  site.Round({"A", "B", "C"});
  site.look.Look();
  site.Round({"A", "B", "C"});
  EXPECT_TRUE(site.look.Look().Kept());

  DEVICE_ENTRY_T b = Device("B", "10.213.1.2");
  b.firmware = "12.30.1.2";
  site.Set({Device("A", "10.213.1.1"), b, Device("C", "10.213.1.3"), Device("D", "10.213.1.4")});
  site.tracker.OnAnswer("D");
  const SITE_NOW_T& edited = site.look.Look();
  EXPECT_EQ(site.ChangedMacs(edited), (Macs{"B", "D"}));
  EXPECT_EQ(Site::Events(edited), (Macs{"changed B", "new D"}));
  EXPECT_EQ(site.look.Find("B")->firmware, "12.30.1.2");

  site.Set({Device("A", "10.213.1.1"), b, Device("D", "10.213.1.4")});
  const SITE_NOW_T& removed = site.look.Look();
  EXPECT_TRUE(removed.changed.empty());
  EXPECT_EQ(removed.gone, (Macs{"C"}));
  EXPECT_EQ(site.look.Find("C"), nullptr);

  // D goes quiet: three silent rounds, then the next discovery makes it missing.
  const size_t recordedBefore = site.recorded.size();
  for (int round = 0; round < 3; ++round) {
    site.Round({"A", "B"});
    site.look.Look();
  }
  site.tracker.BeginRound();
  const SITE_NOW_T& quiet = site.look.Look();
  EXPECT_FALSE(quiet.tableChanged);
  EXPECT_EQ(site.ChangedMacs(quiet), (Macs{"D"}));
  EXPECT_EQ(Site::Events(quiet), (Macs{"missing D"}));
  EXPECT_EQ(quiet.onlineCount, 2);
  EXPECT_EQ(site.recorded.size(), recordedBefore);
}

// The problem hook hears every new set of problems: one found (two devices on one address), one
// gone (the address moved), and the problems new networks bring; the devices whose problems
// moved are reported as changed.
TEST(SiteLook, CallsTheProblemHookWhenProblemsAreFoundOrGone) {
  Site site;
  site.Set({Device("A", "10.213.1.1"), Device("B", "10.213.1.2")});
  site.Round({"A", "B"});
  site.look.Look();
  ASSERT_EQ(site.recorded.size(), 1u);
  EXPECT_TRUE(site.recorded[0].empty());

  site.Set({Device("A", "10.213.1.1"), Device("B", "10.213.1.1")});
  const SITE_NOW_T& found = site.look.Look();
  ASSERT_EQ(site.recorded.size(), 2u);
  EXPECT_EQ(site.recorded[1].count("A"), 1u);
  EXPECT_EQ(site.recorded[1].count("B"), 1u);
  EXPECT_EQ(site.ChangedMacs(found), (Macs{"A", "B"}));
  EXPECT_EQ(Site::Events(found), (Macs{"problem A", "changed B", "problem B"}));

  site.Set({Device("A", "10.213.1.1"), Device("B", "10.213.1.2")});
  const SITE_NOW_T& gone = site.look.Look();
  ASSERT_EQ(site.recorded.size(), 3u);
  EXPECT_TRUE(site.recorded[2].empty());
  EXPECT_EQ(Site::Events(gone), (Macs{"problem_gone A", "changed B", "problem_gone B"}));

  // The adapter moves to another network: both devices lie outside it now.
  site.subnets = {{0xC0A80101, 0xFFFFFF00}};
  const SITE_NOW_T& moved = site.look.Look();
  EXPECT_TRUE(moved.tableChanged);
  ASSERT_EQ(site.recorded.size(), 4u);
  EXPECT_EQ(site.recorded[3].size(), 2u);
  EXPECT_EQ(site.ChangedMacs(moved), (Macs{"A", "B"}));
  EXPECT_TRUE(site.look.Look().Kept());
}

}  // namespace
