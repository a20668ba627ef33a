#pragma once

namespace SQLite {
class Database;
}

// The site database's tables. The version is kept in PRAGMA user_version, one migration function
// per step; the file is marked as ours with PRAGMA application_id so that a foreign SQLite file
// is never taken for a site.
//
//   devices            one row per MAC ("AA:BB:CC:DD:EE:FF"): first and last seen, the latest
//                      IP, model, room, firmware and, once a device reported them, its
//                      addressing mode ("dhcp"/"static"), mask and gateway
//   changes            every change of one of those values: time, MAC, field, old, new
//   operations         every operation (set, reboot, reset, static, assign, upgrade): time, kind,
//                      front end, parameters as JSON (never a password)
//   operation_devices  each device's result of an operation
//   events             devices new on the site and problems found and gone, in the order they
//                      happened (id ascending): other programs read it from a known id onwards
//   open_problems      the problems as they stand now
//
// Times are milliseconds since 1970 (UTC).
namespace site_schema {

inline constexpr int kApplicationId = 0x49505343;  // "IPSC"
inline constexpr int kVersion = 1;

// Brings an empty or older database to kVersion inside one transaction. The caller has checked
// that the file is ours (or empty) and not newer.
void Migrate(SQLite::Database& db);

}  // namespace site_schema
