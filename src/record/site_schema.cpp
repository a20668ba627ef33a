#include "record/site_schema.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Transaction.h>

#include <string>

namespace site_schema {
namespace {

void CreateVersion1(SQLite::Database& db) {
  db.exec(R"sql(
    CREATE TABLE devices(
      mac TEXT PRIMARY KEY NOT NULL,
      first_seen INTEGER NOT NULL,
      last_seen INTEGER NOT NULL,
      ip TEXT NOT NULL DEFAULT '',
      model TEXT NOT NULL DEFAULT '',
      room TEXT NOT NULL DEFAULT '',
      firmware TEXT NOT NULL DEFAULT '',
      mode TEXT NOT NULL DEFAULT '',
      mask TEXT NOT NULL DEFAULT '',
      gateway TEXT NOT NULL DEFAULT '') WITHOUT ROWID;
    CREATE TABLE changes(
      id INTEGER PRIMARY KEY,
      time INTEGER NOT NULL,
      mac TEXT NOT NULL,
      field TEXT NOT NULL,
      old_value TEXT NOT NULL,
      new_value TEXT NOT NULL);
    CREATE INDEX changes_by_mac ON changes(mac, time);
    CREATE TABLE operations(
      id INTEGER PRIMARY KEY,
      time INTEGER NOT NULL,
      kind TEXT NOT NULL,
      source TEXT NOT NULL,
      parameters TEXT NOT NULL);
    CREATE INDEX operations_by_time ON operations(time);
    CREATE TABLE operation_devices(
      operation_id INTEGER NOT NULL REFERENCES operations(id),
      mac TEXT NOT NULL,
      result TEXT NOT NULL,
      detail TEXT NOT NULL DEFAULT '',
      PRIMARY KEY(operation_id, mac));
    CREATE INDEX operation_devices_by_mac ON operation_devices(mac);
    CREATE TABLE events(
      id INTEGER PRIMARY KEY AUTOINCREMENT,
      time INTEGER NOT NULL,
      kind TEXT NOT NULL,
      mac TEXT NOT NULL,
      code TEXT NOT NULL DEFAULT '',
      detail TEXT NOT NULL DEFAULT '');
    CREATE TABLE open_problems(
      mac TEXT NOT NULL,
      code TEXT NOT NULL,
      value TEXT NOT NULL,
      since INTEGER NOT NULL,
      PRIMARY KEY(mac, code, value));
  )sql");
}

// Step n brings version n - 1 to version n.
using Migration = void (*)(SQLite::Database&);
constexpr Migration kMigrations[] = {nullptr, CreateVersion1};
static_assert(std::size(kMigrations) == kVersion + 1, "one migration per schema version");

}  // namespace

void Migrate(SQLite::Database& db) {
  const int current = db.execAndGet("PRAGMA user_version").getInt();
  if (current >= kVersion) return;
  SQLite::Transaction transaction(db, SQLite::TransactionBehavior::IMMEDIATE);
  // Two programs opening a new site at once: the second one waits here and finds it done.
  const int now = db.execAndGet("PRAGMA user_version").getInt();
  for (int step = now + 1; step <= kVersion; ++step) kMigrations[step](db);
  db.exec("PRAGMA application_id = " + std::to_string(kApplicationId));
  db.exec("PRAGMA user_version = " + std::to_string(kVersion));
  transaction.commit();
}

}  // namespace site_schema
