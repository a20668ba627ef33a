#include "record/site_database.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "platform/user_folders.h"
#include "record/site_schema.h"
#include "shell/log.h"

namespace {

enum class FileState { kOk, kFresh, kForeign, kDamaged, kNewer };

// The files SQLite opens beside a database.
constexpr const char* kCompanionSuffixes[] = {"-wal", "-shm", "-journal"};

std::string OctalMode(mode_t mode) {
  char text[8];
  std::snprintf(text, sizeof(text), "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

// Where a record may be opened: its folder belongs to this user and nobody else may write to it
// (else another user could swap the files under the program, which may run as root), and the
// database and its companion files are no symbolic links (SQLite would follow one, turning any
// file it points to into a database and putting -wal and -shm beside that). The path SQLite
// gets, through the folder's real path, in *openPath; false with the reason otherwise.
bool CheckPlace(const std::string& path, std::string* openPath, std::string* reason) {
  namespace fs = std::filesystem;
  const fs::path file(path);
  const std::string folder = file.has_parent_path() ? file.parent_path().string() : ".";
  struct stat folderStat {};
  if (::stat(folder.c_str(), &folderStat) != 0 || !S_ISDIR(folderStat.st_mode)) {
    *reason = "the site folder " + folder + " is missing";
    return false;
  }
  if (folderStat.st_uid != ::geteuid()) {
    *reason = "the site folder " + folder + " belongs to another user (uid " +
              std::to_string(folderStat.st_uid) + ")";
    return false;
  }
  if ((folderStat.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    *reason = "the site folder " + folder + " may be written by other users (mode " +
              OctalMode(folderStat.st_mode) + "; chmod go-w " + folder + ")";
    return false;
  }
  for (const char* suffix :
       {"", kCompanionSuffixes[0], kCompanionSuffixes[1], kCompanionSuffixes[2]}) {
    const std::string name = path + suffix;
    struct stat fileStat {};
    if (::lstat(name.c_str(), &fileStat) != 0) continue;  // absent: SQLite creates it
    if (S_ISLNK(fileStat.st_mode)) {
      *reason = name + " is a symbolic link";
      return false;
    }
    if (!S_ISREG(fileStat.st_mode)) {
      *reason = name + " is not a regular file";
      return false;
    }
  }
  char* real = ::realpath(folder.c_str(), nullptr);
  if (real == nullptr) {
    *reason = "the site folder " + folder + " cannot be resolved";
    return false;
  }
  *openPath = std::string(real) + "/" + file.filename().string();
  std::free(real);
  return true;
}

// What the open file is. Throws SQLite::Exception on I/O errors and on a file SQLite cannot read.
FileState Inspect(SQLite::Database& db) {
  const int applicationId = db.execAndGet("PRAGMA application_id").getInt();
  const int version = db.execAndGet("PRAGMA user_version").getInt();
  if (applicationId != site_schema::kApplicationId) {
    const int tables = db.execAndGet("SELECT count(*) FROM sqlite_master").getInt();
    return applicationId == 0 && version == 0 && tables == 0 ? FileState::kFresh
                                                             : FileState::kForeign;
  }
  if (version > site_schema::kVersion) return FileState::kNewer;
  // A quick check reads every page: cheap for a site's few megabytes, and it catches a file
  // damaged outside the program before anything is written into it.
  if (db.execAndGet("PRAGMA quick_check").getString() != "ok") return FileState::kDamaged;
  return FileState::kOk;
}

std::string TimeStamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof(text), "%Y%m%d-%H%M%S", &local);
  return text;
}

// Renames the database and its WAL and shared-memory files out of the way. The new name.
std::string MoveAside(const std::string& path) {
  namespace fs = std::filesystem;
  std::string aside = path + ".damaged-" + TimeStamp();
  for (int n = 2; fs::exists(aside); ++n)
    aside = path + ".damaged-" + TimeStamp() + "-" + std::to_string(n);
  std::error_code ec;
  fs::rename(path, aside, ec);
  if (ec) return std::string();
  for (const char* suffix : kCompanionSuffixes) {
    std::error_code ignored;
    if (fs::exists(path + suffix, ignored)) fs::rename(path + suffix, aside + suffix, ignored);
  }
  return aside;
}

// NOFOLLOW: a link put in place of the file after CheckPlace looked is refused, not followed
// (the path's folders are already resolved, so the file's own name is the only link left).
std::unique_ptr<SQLite::Database> OpenWritable(const std::string& openPath) {
  return std::make_unique<SQLite::Database>(
      openPath, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE | SQLITE_OPEN_NOFOLLOW,
      CSiteDatabase::kBusyTimeoutMs);
}

void Prepare(SQLite::Database& db) {
  // WAL: a killed writer leaves a consistent file; NORMAL syncs at checkpoints, which keeps a
  // transaction a second cheap and still survives the process being killed.
  db.exec("PRAGMA journal_mode = WAL");
  db.exec("PRAGMA synchronous = NORMAL");
  site_schema::Migrate(db);
}

bool IsUnreadable(int code) { return code == SQLITE_NOTADB || code == SQLITE_CORRUPT; }

std::string Describe(const SQLite::Exception& e) {
  return CSiteDatabase::IsDiskFull(e.getErrorCode()) ? "the disk is full" : e.what();
}

}  // namespace

bool CSiteDatabase::IsDiskFull(int code) { return (code & 0xFF) == SQLITE_FULL; }

std::unique_ptr<SQLite::Database> CSiteDatabase::OpenForWriting(const std::string& path,
                                                                std::string* notice) {
  notice->clear();
  const std::string folder = std::filesystem::path(path).parent_path().string();
  if (!folder.empty() && !MakeFolders(folder)) {
    *notice = "cannot create the site folder " + folder + "; nothing is recorded";
    return nullptr;
  }
  std::string openPath;
  std::string reason;
  if (!CheckPlace(path, &openPath, &reason)) {
    *notice = "the site record is not opened: " + reason + "; nothing is recorded";
    LogError("CSiteDatabase: %s", notice->c_str());
    return nullptr;
  }
  FileState state = FileState::kOk;
  try {
    auto db = OpenWritable(openPath);
    state = Inspect(*db);
    if (state == FileState::kOk || state == FileState::kFresh) {
      Prepare(*db);
      return db;
    }
  } catch (const SQLite::Exception& e) {
    if (!IsUnreadable(e.getErrorCode())) {
      *notice =
          "cannot open the site database " + path + ": " + Describe(e) + "; nothing is recorded";
      return nullptr;
    }
    state = FileState::kDamaged;
  }
  if (state == FileState::kNewer) {
    *notice = "the site database " + path +
              " was written by a newer version of the program; nothing is recorded";
    return nullptr;
  }
  const std::string aside = MoveAside(path);
  if (aside.empty()) {
    *notice = "the site database " + path +
              " is damaged or not a site database, and cannot be moved aside; nothing is recorded";
    return nullptr;
  }
  *notice = "the site database " + path + " was damaged or not a site database; it was moved to " +
            aside + " and a new one was started";
  LogError("CSiteDatabase: %s", notice->c_str());
  try {
    auto db = OpenWritable(openPath);
    Prepare(*db);
    return db;
  } catch (const SQLite::Exception& e) {
    *notice += ", but the new one cannot be opened: " + Describe(e) + "; nothing is recorded";
    return nullptr;
  }
}

std::unique_ptr<SQLite::Database> CSiteDatabase::OpenForReading(const std::string& path,
                                                                std::string* error) {
  error->clear();
  std::error_code ec;
  if (!std::filesystem::exists(std::filesystem::symlink_status(path, ec))) {
    *error = "no site database at " + path;
    return nullptr;
  }
  std::string openPath;
  std::string reason;
  if (!CheckPlace(path, &openPath, &reason)) {
    *error = "the site record is not read: " + reason;
    return nullptr;
  }
  try {
    // Read-write without create: a reader of a WAL database needs the shared-memory file, and
    // the busy time-out covers a writer's checkpoint.
    auto db = std::make_unique<SQLite::Database>(
        openPath, SQLite::OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW, kBusyTimeoutMs);
    const int applicationId = db->execAndGet("PRAGMA application_id").getInt();
    const int version = db->execAndGet("PRAGMA user_version").getInt();
    if (applicationId != site_schema::kApplicationId || version < 1) {
      *error = path + " is not a site database";
      return nullptr;
    }
    if (version > site_schema::kVersion) {
      *error = path + " was written by a newer version of the program";
      return nullptr;
    }
    return db;
  } catch (const SQLite::Exception& e) {
    *error = "cannot read the site database " + path + ": " +
             (IsUnreadable(e.getErrorCode()) ? std::string("it is damaged") : Describe(e));
    return nullptr;
  }
}
