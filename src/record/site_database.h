#pragma once

#include <SQLiteCpp/Database.h>

#include <memory>
#include <string>

// Opening a site database. Writers open it in WAL mode (readers go on while one process writes,
// and a killed writer leaves the file intact) with a busy time-out, so the window and the
// command line can record the same site at once.
class CSiteDatabase {
public:
  // How long a write waits for another program's transaction on the same site.
  static constexpr int kBusyTimeoutMs = 5000;

  // Opens or creates the site database at path, migrated to the current schema. A damaged file,
  // or one that is not a site database, is renamed to "<path>.damaged-<time>" (with its WAL
  // files) and a new database is started; *notice then tells the user so. Null when nothing can
  // be recorded (folder not writable, disk full, a newer program's database), with the reason in
  // *notice; so also when the folder belongs to another user or others may write to it, or when
  // the file or its -wal, -shm or -journal file is a symbolic link (never followed).
  static std::unique_ptr<SQLite::Database> OpenForWriting(const std::string& path,
                                                          std::string* notice);

  // Opens an existing site database to read it. Null with the reason in *error when the file is
  // missing, damaged or not a site database, or refused as for writing (folder, links); nothing
  // is moved or created.
  static std::unique_ptr<SQLite::Database> OpenForReading(const std::string& path,
                                                          std::string* error);

  // SQLite result codes that mean the disk (or the user's quota) is full.
  static bool IsDiskFull(int sqliteErrorCode);
};
