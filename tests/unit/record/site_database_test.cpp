#include "record/site_database.h"

#include <SQLiteCpp/Database.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "record/site_schema.h"
#include "site_test_folder.h"

namespace {

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

size_t CountAside(const CTestFolder& folder, const std::string& name) {
  size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
    const std::string file = entry.path().filename().string();
    if (file.rfind(name + ".damaged-", 0) == 0 && file.find("-wal") == std::string::npos &&
        file.find("-shm") == std::string::npos)
      ++count;
  }
  return count;
}

TEST(SiteDatabase, NewSiteIsCreatedInWalModeAtTheCurrentSchema) {
  CTestFolder folder;
  const std::string path = folder.File("sub/new.sqlite");  // missing folders are created
  std::string notice;
  auto db = CSiteDatabase::OpenForWriting(path, &notice);
  ASSERT_NE(db, nullptr) << notice;
  EXPECT_EQ(notice, "");
  EXPECT_EQ(db->execAndGet("PRAGMA journal_mode").getString(), "wal");
  EXPECT_EQ(db->execAndGet("PRAGMA user_version").getInt(), site_schema::kVersion);
  EXPECT_EQ(db->execAndGet("PRAGMA application_id").getInt(), site_schema::kApplicationId);
  EXPECT_EQ(db->execAndGet("PRAGMA busy_timeout").getInt(), CSiteDatabase::kBusyTimeoutMs);
  db->exec("INSERT INTO devices(mac, first_seen, last_seen) VALUES('AA:BB:CC:DD:EE:FF', 1, 2)");
  db.reset();
  // Opened again: kept as it is, nothing moved.
  db = CSiteDatabase::OpenForWriting(path, &notice);
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(notice, "");
  EXPECT_EQ(db->execAndGet("SELECT count(*) FROM devices").getInt(), 1);
}

// Files that are no site database are moved aside with a message; a new record starts.
TEST(SiteDatabase, DamagedOrForeignFilesAreMovedAsideAndANewRecordStarts) {
  struct Case {
    const char* name;
    void (*make)(const std::string& path);
  };
  const Case cases[] = {
      {"garbage", [](const std::string& p) { WriteBytes(p, std::string(9000, '\x5a')); }},
      {"text", [](const std::string& p) { WriteBytes(p, "room,ip\n1-0101,10.0.0.1\n"); }},
      {"foreign",
       [](const std::string& p) {
         SQLite::Database db(p, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
         db.exec("CREATE TABLE songs(title TEXT)");
       }},
      {"truncated_site",
       [](const std::string& p) {
         std::string notice;
         CSiteDatabase::OpenForWriting(p, &notice).reset();
         std::filesystem::resize_file(p, 3000);  // a page and a half: the header is intact
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CTestFolder folder;
    const std::string path = folder.File(std::string(c.name) + ".sqlite");
    c.make(path);
    std::string notice;
    auto db = CSiteDatabase::OpenForWriting(path, &notice);
    ASSERT_NE(db, nullptr) << notice;
    EXPECT_NE(
        notice.find("was damaged or not a site database; it was moved to " + path + ".damaged-"),
        std::string::npos)
        << notice;
    EXPECT_EQ(CountAside(folder, std::string(c.name) + ".sqlite"), 1u);
    EXPECT_EQ(db->execAndGet("PRAGMA integrity_check").getString(), "ok");
    EXPECT_EQ(db->execAndGet("SELECT count(*) FROM devices").getInt(), 0);
  }
}

TEST(SiteDatabase, NewerProgramsRecordIsLeftAloneAndNothingIsRecorded) {
  CTestFolder folder;
  const std::string path = folder.File("newer.sqlite");
  {
    std::string notice;
    auto db = CSiteDatabase::OpenForWriting(path, &notice);
    db->exec("PRAGMA user_version = " + std::to_string(site_schema::kVersion + 1));
  }
  std::string notice;
  EXPECT_EQ(CSiteDatabase::OpenForWriting(path, &notice), nullptr);
  EXPECT_NE(notice.find("newer version"), std::string::npos) << notice;
  EXPECT_EQ(CountAside(folder, "newer.sqlite"), 0u);
  std::string error;
  EXPECT_EQ(CSiteDatabase::OpenForReading(path, &error), nullptr);
  EXPECT_NE(error.find("newer version"), std::string::npos);
}

TEST(SiteDatabase, ReadingNeverCreatesOrMovesAnything) {
  CTestFolder folder;
  std::string error;
  EXPECT_EQ(CSiteDatabase::OpenForReading(folder.File("none.sqlite"), &error), nullptr);
  EXPECT_NE(error.find("no site database"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(folder.File("none.sqlite")));
  WriteBytes(folder.File("junk.sqlite"), std::string(5000, 'x'));
  EXPECT_EQ(CSiteDatabase::OpenForReading(folder.File("junk.sqlite"), &error), nullptr);
  EXPECT_NE(error.find("damaged"), std::string::npos) << error;
  EXPECT_TRUE(std::filesystem::exists(folder.File("junk.sqlite")));
}

}  // namespace

namespace {

// A record as the program leaves it.
void MakeSite(const std::string& path) {
  std::string notice;
  CSiteDatabase::OpenForWriting(path, &notice).reset();
}

// A place the record must not be opened in: a link instead of the file (or beside it), or a
// folder others may change. Nothing is created or followed; the reason is given.
TEST(SiteDatabase, LinksAndFoldersOthersMayChangeAreRefused) {
  namespace fs = std::filesystem;
  struct Case {
    const char* name;
    void (*make)(const CTestFolder& folder, const std::string& path);
    const char* reason;  // "" when the record opens
  };
  const Case cases[] = {
      {"ok", [](const CTestFolder&, const std::string&) {}, ""},
      {"folder_0755",
       [](const CTestFolder& f, const std::string& p) {
         MakeSite(p);
         fs::permissions(f.Path(), fs::perms(0755));
       },
       ""},
      {"link_to_empty_file",
       [](const CTestFolder& f, const std::string& p) {
         WriteBytes(f.File("target"), "");
         fs::create_symlink(f.File("target"), p);
       },
       "is a symbolic link"},
      {"dangling_link",
       [](const CTestFolder& f, const std::string& p) { fs::create_symlink(f.File("nowhere"), p); },
       "is a symbolic link"},
      {"wal_link",
       [](const CTestFolder& f, const std::string& p) {
         MakeSite(p);
         fs::remove(p + "-wal");
         fs::create_symlink(f.File("target"), p + "-wal");
       },
       "-wal is a symbolic link"},
      {"fifo", [](const CTestFolder&, const std::string& p) { ::mkfifo(p.c_str(), 0600); },
       "is not a regular file"},
      {"folder_0777",
       [](const CTestFolder& f, const std::string& p) {
         MakeSite(p);
         fs::permissions(f.Path(), fs::perms(0777));
       },
       "may be written by other users (mode 0777"},
      {"folder_0775",
       [](const CTestFolder& f, const std::string& p) {
         MakeSite(p);
         fs::permissions(f.Path(), fs::perms(0775));
       },
       "may be written by other users (mode 0775"},
      {"folder_of_another_user",
       [](const CTestFolder& f, const std::string& p) {
         MakeSite(p);
         if (::chown(f.Path().c_str(), ::geteuid() + 1, static_cast<gid_t>(-1)) != 0)
           GTEST_SKIP() << "cannot give the folder away (not root)";
       },
       "belongs to another user"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CTestFolder folder;
    const std::string path = folder.File("site.sqlite");
    c.make(folder, path);
    if (::testing::Test::IsSkipped()) return;
    std::string notice;
    auto db = CSiteDatabase::OpenForWriting(path, &notice);
    std::string error;
    auto reader = CSiteDatabase::OpenForReading(path, &error);
    if (std::string(c.reason).empty()) {
      EXPECT_NE(db, nullptr) << notice;
      continue;
    }
    EXPECT_EQ(db, nullptr);
    EXPECT_EQ(reader, nullptr);
    EXPECT_NE(notice.find(c.reason), std::string::npos) << notice;
    EXPECT_NE(notice.find("nothing is recorded"), std::string::npos) << notice;
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    // The link's target stays as it was: no database in it, nothing beside it.
    if (fs::exists(folder.File("target"))) EXPECT_EQ(fs::file_size(folder.File("target")), 0u);
    EXPECT_FALSE(fs::exists(folder.File("target-wal")));
    EXPECT_FALSE(fs::exists(folder.File("nowhere")));
  }
}

}  // namespace
