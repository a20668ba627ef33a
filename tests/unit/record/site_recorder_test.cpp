#include "record/site_recorder.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <gtest/gtest.h>

#include <thread>

#include "record/site_database.h"
#include "record/site_reader.h"
#include "site_test_folder.h"

namespace {

constexpr int64_t kMinute = 60000;

DEVICE_ENTRY_T Device(const std::string& mac, const std::string& ip,
                      const std::string& firmware = "12.30.1.1") {
  return DEVICE_ENTRY_T{ip, mac, mac, "DS-210 Door Station", "1-0101", firmware};
}

// A recorder on a fresh site file with a clock the test moves; a second connection reads.
class SiteRecorderTest : public ::testing::Test {
protected:
  void SetUp() override {
    path = folder.File("site.sqlite");
    std::string notice;
    recorder = std::make_unique<CSiteRecorder>(CSiteDatabase::OpenForWriting(path, &notice), "cli",
                                               [this] { return now; });
    ASSERT_TRUE(recorder->Recording()) << notice;
    reader = CSiteDatabase::OpenForReading(path, &notice);
    ASSERT_NE(reader, nullptr) << notice;
  }
  int Count(const std::string& sql) { return reader->execAndGet(sql).getInt(); }
  std::string Text(const std::string& sql) { return reader->execAndGet(sql).getString(); }

  CTestFolder folder;
  std::string path;
  int64_t now = 1'700'000'000'000;
  std::unique_ptr<CSiteRecorder> recorder;
  std::unique_ptr<SQLite::Database> reader;
};

TEST_F(SiteRecorderTest, AnswersBecomeDevicesChangesAndAMinutelyLastSeen) {
  const int64_t start = now;
  recorder->OnDeviceAnswer(Device("02:1a:2b:3c:4d:5e", "10.213.1.10"));
  recorder->OnDeviceAnswer(Device("021A2B3C4D5F", "10.213.1.11"));
  ASSERT_TRUE(recorder->Flush());
  EXPECT_EQ(recorder->Transactions(), 1u);
  EXPECT_EQ(Count("SELECT count(*) FROM devices"), 2);
  EXPECT_EQ(Count("SELECT count(*) FROM devices WHERE mac = '02:1A:2B:3C:4D:5E'"), 1)
      << "one spelling of the MAC";
  EXPECT_EQ(Count("SELECT count(*) FROM events WHERE kind = 'new'"), 2);

  // The same answer within the minute is not even queued: no transaction.
  now += 30000;
  recorder->OnDeviceAnswer(Device("02:1a:2b:3c:4d:5e", "10.213.1.10"));
  ASSERT_TRUE(recorder->Flush());
  EXPECT_EQ(recorder->Transactions(), 1u);

  // A minute after the last write the last-seen time moves, without a change.
  now = start + kMinute;
  recorder->OnDeviceAnswer(Device("02:1a:2b:3c:4d:5e", "10.213.1.10"));
  ASSERT_TRUE(recorder->Flush());
  EXPECT_EQ(recorder->Transactions(), 2u);
  EXPECT_EQ(reader->execAndGet("SELECT last_seen FROM devices WHERE mac = '02:1A:2B:3C:4D:5E'")
                .getInt64(),
            now);
  EXPECT_EQ(reader->execAndGet("SELECT first_seen FROM devices WHERE mac = '02:1A:2B:3C:4D:5E'")
                .getInt64(),
            start);

  // A changed value is written at once, whatever the minute.
  now += 1000;
  recorder->OnDeviceAnswer(Device("02:1a:2b:3c:4d:5e", "10.213.9.9", "12.31.1.1"));
  ASSERT_TRUE(recorder->Flush());
  const std::vector<SITE_CHANGE_T> changes = CSiteReader(*reader).Changes("02:1A:2B:3C:4D:5E");
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_EQ(changes[0].field, "ip");
  EXPECT_EQ(changes[0].oldValue, "10.213.1.10");
  EXPECT_EQ(changes[0].newValue, "10.213.9.9");
  EXPECT_EQ(changes[1].field, "firmware");
  EXPECT_EQ(changes[1].time, now);
}

TEST_F(SiteRecorderTest, ReportedSettingsAreKeptAndTheirChangesRecorded) {
  const std::string mac = "02:1A:2B:3C:4D:5E";
  recorder->OnDeviceAnswer(Device(mac, "10.213.1.10"));
  const std::vector<std::string> dhcp = {
      "Config.Network.LAN.Type=0", "Config.Status.IP=10.213.1.10",
      "Config.Status.Netmask=255.255.0.0", "Config.Status.Gateway=10.213.0.254"};
  recorder->OnReportConfig(mac, "10.213.1.10", 8500, &dhcp);
  ASSERT_TRUE(recorder->Flush());
  EXPECT_EQ(Text("SELECT mode || ' ' || mask || ' ' || gateway FROM devices"),
            "dhcp 255.255.0.0 10.213.0.254");
  EXPECT_EQ(Count("SELECT count(*) FROM changes"), 0) << "first learned values are no change";

  // A batch static poll reports the type alone: the mode changes, mask and gateway stay.
  now += 1000;
  const std::vector<std::string> poll = {"Config.Network.LAN.Type=2"};
  recorder->OnReportConfig(mac, "10.213.1.10", 8500, &poll);
  ASSERT_TRUE(recorder->Flush());
  EXPECT_EQ(Text("SELECT mode || ' ' || mask FROM devices"), "static 255.255.0.0");
  EXPECT_EQ(Text("SELECT field || ':' || old_value || '>' || new_value FROM changes"),
            "mode:dhcp>static");
}

TEST_F(SiteRecorderTest, EverySpellingOfAMacIsOneDeviceAndThousandsStayApart) {
  // The filter and the queue know a device by its MAC's value: the table's spelling, a report's
  // and another answer's meet in one row; a key that is no MAC is kept as it is.
  recorder->OnDeviceAnswer(Device("02:1a:2b:3c:4d:5e", "10.213.1.10"));
  const std::vector<std::string> report = {"Config.Network.LAN.Type=0",
                                           "Config.Status.Netmask=255.255.0.0"};
  recorder->OnReportConfig("021A2B3C4D5E", "10.213.1.10", 8500, &report);
  recorder->OnDeviceAnswer(Device("not-a-mac", "10.213.1.12"));
  ASSERT_TRUE(recorder->Flush());
  now += 1000;
  recorder->OnDeviceAnswer(Device("02-1A-2B-3C-4D-5E", "10.213.1.11"));
  // Enough devices to make the flat arrays grow several times.
  for (int i = 0; i < 3000; ++i) {
    char mac[16];
    std::snprintf(mac, sizeof(mac), "02%010X", 0x100 + i);
    recorder->OnDeviceAnswer(Device(mac, "10.213.2.1"));
  }
  ASSERT_TRUE(recorder->Flush());
  EXPECT_EQ(Count("SELECT count(*) FROM devices"), 3002);
  EXPECT_EQ(Text("SELECT ip || ' ' || mode || ' ' || mask FROM devices "
                 "WHERE mac = '02:1A:2B:3C:4D:5E'"),
            "10.213.1.11 dhcp 255.255.0.0");
  EXPECT_EQ(Count("SELECT count(*) FROM devices WHERE mac = 'not-a-mac'"), 1);
  EXPECT_EQ(Count("SELECT count(*) FROM devices WHERE mac = '02:00:00:00:0B:B7'"), 1);
  EXPECT_EQ(Count("SELECT count(*) FROM changes"), 1) << "the new IP, nothing else";
}

// A device that spells its MAC with dots ("021a.2b3c.4d5e") has one MAC text in every table, so
// its operations, events and problems join its row in devices. Rows an older program wrote with
// the dotted text are given the record's spelling when a recorder opens the site.
TEST_F(SiteRecorderTest, ADottedMacJoinsAcrossEveryTable) {
  const std::string dotted = "021a.2b3c.4d5e";
  const std::vector<DEVICE_ENTRY_T> table = {Device(dotted, "10.213.1.10"),
                                             Device("02:1A:2B:3C:4D:5F", "10.213.1.10")};
  for (const DEVICE_ENTRY_T& d : table) recorder->OnDeviceAnswer(d);
  recorder->RecordOperation({ESiteOperation::kReboot, "", {}, {{dotted, true, ""}}, 0});
  SiteProblemMap problems;
  problems[dotted] = {{EProblemCode::kDuplicateIp, "10.213.1.10", {"02:1A:2B:3C:4D:5F"}}};
  problems["02:1A:2B:3C:4D:5F"] = {{EProblemCode::kDuplicateIp, "10.213.1.10", {dotted}}};
  recorder->RecordProblems(table, problems);
  ASSERT_TRUE(recorder->Flush());

  const char* kJoins[] = {
      "SELECT count(*) FROM operation_devices JOIN devices USING(mac)",
      "SELECT count(*) FROM events JOIN devices USING(mac) WHERE devices.ip = '10.213.1.10' "
      "AND events.mac = '02:1A:2B:3C:4D:5E'",
      "SELECT count(*) FROM open_problems JOIN devices USING(mac) "
      "WHERE open_problems.mac = '02:1A:2B:3C:4D:5E'",
  };
  const int kRows[] = {1, 2, 1};  // the reboot; 'new' and 'problem'; the open problem
  for (size_t i = 0; i < std::size(kJoins); ++i) EXPECT_EQ(Count(kJoins[i]), kRows[i]) << kJoins[i];
  EXPECT_EQ(Count("SELECT count(*) FROM events WHERE detail LIKE '%02:1A:2B:3C:4D:5E%'"), 1)
      << "the other device's problem names this one in the same spelling";
  EXPECT_EQ(Count("SELECT count(*) FROM events WHERE instr(mac, '.') > 0"), 0);
  EXPECT_EQ(CSiteReader(*reader).Operations(0, "02:1A:2B:3C:4D:5E").size(), 1u);

  // A record from before: the dotted text in the tables that did not take the colon spelling.
  recorder.reset();
  {
    SQLite::Database old(path, SQLite::OPEN_READWRITE);
    old.exec(
        "INSERT INTO operations(id, time, kind, source, parameters) "
        "VALUES(100, 1, 'set', 'cli', '{}')");
    old.exec(
        "INSERT INTO operation_devices(operation_id, mac, result) "
        "VALUES(100, '021a.2b3c.4d5e', 'ok')");
    old.exec("INSERT INTO events(time, kind, mac) VALUES(1, 'missing', '021A.2B3C.4D5E')");
    old.exec("DELETE FROM open_problems WHERE mac = '02:1A:2B:3C:4D:5E'");
    old.exec(
        "INSERT INTO open_problems(mac, code, value, since) "
        "VALUES('021a.2b3c.4d5e', 'duplicate_ip', '10.213.1.10', 1)");
    old.exec("INSERT INTO events(time, kind, mac) VALUES(1, 'missing', 'no.mac.here')");
  }
  std::string notice;
  CSiteRecorder again(CSiteDatabase::OpenForWriting(path, &notice), "window",
                      [this] { return now; });
  ASSERT_TRUE(again.Recording()) << notice;
  EXPECT_EQ(Count("SELECT count(*) FROM operation_devices JOIN devices USING(mac)"), 2);
  EXPECT_EQ(Count("SELECT count(*) FROM events WHERE mac = '02:1A:2B:3C:4D:5E'"), 3);
  EXPECT_EQ(Text("SELECT group_concat(mac) FROM (SELECT mac FROM open_problems ORDER BY mac)"),
            "02:1A:2B:3C:4D:5E,02:1A:2B:3C:4D:5F");
  EXPECT_EQ(Count("SELECT count(*) FROM events WHERE mac = 'no.mac.here'"), 1)
      << "a text that is no MAC stays as it is";
  // The respelled open problem is known: the same problem again adds no event.
  again.RecordProblems(table, problems);
  ASSERT_TRUE(again.Flush());
  EXPECT_EQ(Count("SELECT count(*) FROM events WHERE kind = 'problem'"), 2);
}

TEST_F(SiteRecorderTest, OperationsKeepKindParametersAndEachResultButNoPassword) {
  const ESiteOperation kinds[] = {ESiteOperation::kSet,    ESiteOperation::kReboot,
                                  ESiteOperation::kReset,  ESiteOperation::kStatic,
                                  ESiteOperation::kAssign, ESiteOperation::kUpgrade};
  for (ESiteOperation kind : kinds) {
    recorder->RecordOperation(
        {kind,
         "",
         {{"ip", "10.213.9.9"}, {"Password", "hunter2"}, {"web_secret", "x"}},
         {{"021a2b3c4d5e", true, ""}, {"02-1A-2B-3C-4D-5F", false, "no acknowledge"}},
         0});
  }
  ASSERT_TRUE(recorder->Flush());
  EXPECT_EQ(recorder->Transactions(), 1u) << "all in one transaction";
  const std::vector<SITE_OPERATION_ROW_T> ops = CSiteReader(*reader).Operations(0);
  ASSERT_EQ(ops.size(), 6u);
  const char* names[] = {"set", "reboot", "reset", "static", "assign", "upgrade"};
  for (size_t i = 0; i < ops.size(); ++i) {
    EXPECT_EQ(ops[i].kind, names[i]);
    EXPECT_EQ(ops[i].source, "cli");
    EXPECT_EQ(ops[i].parameters, R"({"ip":"10.213.9.9"})");
    ASSERT_EQ(ops[i].results.size(), 2u);
    EXPECT_EQ(ops[i].results[0].mac, "02:1A:2B:3C:4D:5E");
    EXPECT_TRUE(ops[i].results[0].ok);
    EXPECT_FALSE(ops[i].results[1].ok);
    EXPECT_EQ(ops[i].results[1].detail, "no acknowledge");
  }
  // One device's history holds only its own result.
  const auto mine = CSiteReader(*reader).Operations(0, "02:1A:2B:3C:4D:5F");
  ASSERT_EQ(mine.size(), 6u);
  EXPECT_EQ(mine[0].results.size(), 1u);
  EXPECT_EQ(Count("SELECT count(*) FROM operations WHERE parameters LIKE '%hunter2%'"), 0);
}

TEST_F(SiteRecorderTest, ProblemsAppearAndGoAsEventsInOrder) {
  const std::vector<DEVICE_ENTRY_T> table = {Device("A", "10.213.1.10"),
                                             Device("B", "10.213.1.10")};
  SiteProblemMap problems;
  problems["A"] = {{EProblemCode::kDuplicateIp, "10.213.1.10", {"B"}}};
  problems["B"] = {{EProblemCode::kDuplicateIp, "10.213.1.10", {"A"}}};
  recorder->RecordProblems(table, problems);
  recorder->RecordProblems(table, problems);  // unchanged: nothing new
  ASSERT_TRUE(recorder->Flush());
  EXPECT_EQ(Count("SELECT count(*) FROM open_problems"), 2);
  EXPECT_EQ(Count("SELECT count(*) FROM events WHERE kind = 'problem'"), 2);

  // B moved away; A is gone from the table (it keeps its open problem).
  now += 1000;
  recorder->RecordProblems({Device("B", "10.213.1.11")}, {});
  ASSERT_TRUE(recorder->Flush());
  EXPECT_EQ(Text("SELECT group_concat(mac) FROM open_problems"), "A");
  EXPECT_EQ(Text("SELECT group_concat(kind || ':' || mac) FROM (SELECT * FROM events ORDER BY id)"),
            "problem:A,problem:B,problem_gone:B");

  // A new recorder on the same site knows the open problem: no second "problem" event.
  recorder.reset();
  std::string notice;
  CSiteRecorder again(CSiteDatabase::OpenForWriting(path, &notice), "window",
                      [this] { return now; });
  SiteProblemMap onlyA;
  onlyA["A"] = problems["A"];
  again.RecordProblems(table, onlyA);
  ASSERT_TRUE(again.Flush());
  EXPECT_EQ(Count("SELECT count(*) FROM events WHERE kind = 'problem'"), 2);
}

TEST_F(SiteRecorderTest, TwoProgramsRecordTheSameSiteAtOnce) {
  std::string notice;
  CSiteRecorder other(CSiteDatabase::OpenForWriting(path, &notice), "window");
  recorder->Start();
  other.Start();
  std::thread a([&] {
    for (int i = 0; i < 2000; ++i) {
      char mac[16];
      std::snprintf(mac, sizeof(mac), "02%010X", i);
      recorder->OnDeviceAnswer(Device(mac, "10.213.1.1"));
    }
  });
  std::thread b([&] {
    for (int i = 1000; i < 3000; ++i) {
      char mac[16];
      std::snprintf(mac, sizeof(mac), "02%010X", i);
      other.OnDeviceAnswer(Device(mac, "10.213.1.2"));
      if (i % 500 == 0)
        other.RecordOperation({ESiteOperation::kReboot, "", {}, {{mac, true, ""}}, 0});
    }
  });
  a.join();
  b.join();
  recorder->Stop();
  other.Stop();
  EXPECT_TRUE(recorder->Recording());
  EXPECT_TRUE(other.Recording());
  EXPECT_EQ(Count("SELECT count(*) FROM devices"), 3000);
  EXPECT_EQ(Count("SELECT count(*) FROM operations"), 4);
  EXPECT_EQ(Text("PRAGMA integrity_check"), "ok");
}

TEST_F(SiteRecorderTest, AFullDiskStopsRecordingWithOneNoticeAndNothingElse) {
  // The file may not grow past its present size: every write that needs a page fails as on a
  // full disk.
  std::string notice;
  auto db = CSiteDatabase::OpenForWriting(folder.File("full.sqlite"), &notice);
  const int pages = db->execAndGet("PRAGMA page_count").getInt();
  db->exec("PRAGMA max_page_count = " + std::to_string(pages));
  CSiteRecorder full(std::move(db), "cli", [this] { return now; });
  std::vector<std::string> notices;
  full.SetNoticeSink([&](const std::string& text) { notices.push_back(text); });
  for (int i = 0; i < 500; ++i) {
    char mac[16];
    std::snprintf(mac, sizeof(mac), "02%010X", i);
    full.OnDeviceAnswer(Device(mac, "10.213.1.1"));
  }
  EXPECT_FALSE(full.Flush());
  EXPECT_FALSE(full.Recording());
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_NE(notices[0].find("the disk is full; recording stopped"), std::string::npos)
      << notices[0];
  // Later input is ignored quietly.
  full.OnDeviceAnswer(Device("02FFFFFFFFFF", "10.213.1.1"));
  full.RecordOperation({ESiteOperation::kSet, "", {}, {}, 0});
  EXPECT_FALSE(full.Flush());
  EXPECT_EQ(notices.size(), 1u);
}

TEST(SiteRecorder, WithoutADatabaseNothingHappens) {
  CSiteRecorder none(nullptr, "cli");
  none.Start();
  none.OnDeviceAnswer(Device("021A2B3C4D5E", "10.213.1.1"));
  none.RecordOperation({ESiteOperation::kSet, "", {}, {}, 0});
  EXPECT_FALSE(none.Recording());
  EXPECT_FALSE(none.Flush());
  none.Stop();
}

}  // namespace
