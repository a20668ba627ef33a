#include "core/site/site_events.h"

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

// Runs rounds of 5 s against a table that the test edits, and collects "event mac[ code]" lines.
struct Watch {
  CManualOpClock clock;
  CDeviceStatusTracker tracker;
  CSiteWatch watch;
  std::vector<DEVICE_ENTRY_T> table;
  Watch() { tracker.SetClock(&clock); }

  std::vector<std::string> Round(std::initializer_list<const char*> answering) {
    tracker.BeginRound();
    std::vector<std::string> lines = Look();
    clock.Advance(10ms);
    for (const char* mac : answering) tracker.OnAnswer(mac);
    clock.Advance(990ms);
    for (const std::string& line : Look()) lines.push_back(line);
    clock.Advance(4000ms);
    return lines;
  }
  std::vector<std::string> Look() {
    std::vector<std::string> lines;
    for (const SITE_EVENT_T& e :
         watch.Update(table, tracker.Snapshot(), CSiteProblems::Compute(table, kLan))) {
      std::string line = std::string(CSiteWatch::EventName(e.kind)) + " " + e.device.mac;
      if (e.kind == ESiteEvent::kProblem || e.kind == ESiteEvent::kProblemGone)
        line += std::string(" ") + CSiteProblems::Code(e.problem.code);
      if (e.kind == ESiteEvent::kChanged) line += " from " + e.before.ip;
      lines.push_back(line);
    }
    return lines;
  }
};

using Lines = std::vector<std::string>;

TEST(SiteWatch, ReportsEachChangeOnceInOrder) {
  Watch w;
  w.table = {Device("A", "10.213.1.10"), Device("B", "10.213.1.11"), Device("X", "192.168.0.9")};
  // The baseline raises no "new", only the problems it already has.
  EXPECT_EQ(w.Round({"A", "B", "X"}), (Lines{"problem X outside_subnet"}));
  w.table.push_back(Device("C", "10.213.1.12"));
  EXPECT_EQ(w.Round({"A", "B", "X", "C"}), (Lines{"new C"}));
  // C changes its address onto A's, then away again.
  w.table[3].ip = "10.213.1.10";
  EXPECT_EQ(
      w.Round({"A", "B", "X", "C"}),
      (Lines{"problem A duplicate_ip", "changed C from 10.213.1.12", "problem C duplicate_ip"}));
  w.table[3].ip = "10.213.1.13";
  EXPECT_EQ(w.Round({"A", "B", "X", "C"}),
            (Lines{"problem_gone A duplicate_ip", "changed C from 10.213.1.10",
                   "problem_gone C duplicate_ip"}));
  // B goes quiet for four rounds and returns.
  EXPECT_EQ(w.Round({"A", "X", "C"}), Lines{});
  EXPECT_EQ(w.Round({"A", "X", "C"}), Lines{});
  EXPECT_EQ(w.Round({"A", "X", "C"}), Lines{});
  EXPECT_EQ(w.Round({"A", "X", "C"}), (Lines{"missing B"}));
  EXPECT_EQ(w.Round({"A", "B", "X", "C"}), (Lines{"back B"}));
  EXPECT_EQ(w.Round({"A", "B", "X", "C"}), Lines{});

  const SITE_WATCH_SUMMARY_T& s = w.watch.Summary();
  EXPECT_EQ(s.devices, 4u);
  EXPECT_EQ(s.missing, 0u);
  EXPECT_EQ(s.withProblems, 1u);
  EXPECT_EQ(s.events[static_cast<int>(ESiteEvent::kProblem)], 3u);
  EXPECT_EQ(s.events[static_cast<int>(ESiteEvent::kMissing)], 1u);
}

}  // namespace
