#include "record/site_reader.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

std::vector<SITE_DEVICE_ROW_T> CSiteReader::Devices() const {
  SQLite::Statement query(m_db,
                          "SELECT mac, first_seen, last_seen, ip, model, room, firmware, mode, "
                          "mask, gateway FROM devices ORDER BY mac");
  std::vector<SITE_DEVICE_ROW_T> rows;
  while (query.executeStep()) {
    SITE_DEVICE_ROW_T row;
    row.mac = query.getColumn(0).getString();
    row.firstSeen = query.getColumn(1).getInt64();
    row.lastSeen = query.getColumn(2).getInt64();
    std::string* texts[] = {&row.ip,   &row.model, &row.room,   &row.firmware,
                            &row.mode, &row.mask,  &row.gateway};
    for (int i = 0; i < 7; ++i) *texts[i] = query.getColumn(3 + i).getString();
    rows.push_back(std::move(row));
  }
  return rows;
}

size_t CSiteReader::DeviceCount() const {
  return static_cast<size_t>(m_db.execAndGet("SELECT count(*) FROM devices").getInt64());
}

std::vector<SITE_CHANGE_T> CSiteReader::Changes(const std::string& siteMac) const {
  SQLite::Statement query(m_db,
                          "SELECT time, field, old_value, new_value FROM changes WHERE mac = ? "
                          "ORDER BY time, id");
  query.bind(1, siteMac);
  std::vector<SITE_CHANGE_T> rows;
  while (query.executeStep()) {
    rows.push_back({query.getColumn(0).getInt64(), siteMac, query.getColumn(1).getString(),
                    query.getColumn(2).getString(), query.getColumn(3).getString()});
  }
  return rows;
}

std::vector<SITE_OPERATION_ROW_T> CSiteReader::Operations(int64_t since,
                                                          const std::string& siteMac) const {
  SQLite::Statement ops(m_db, siteMac.empty()
                                  ? "SELECT id, time, kind, source, parameters FROM operations "
                                    "WHERE time >= ? ORDER BY time, id"
                                  : "SELECT id, time, kind, source, parameters FROM operations "
                                    "WHERE time >= ? AND id IN (SELECT operation_id FROM "
                                    "operation_devices WHERE mac = ?) ORDER BY time, id");
  ops.bind(1, since);
  if (!siteMac.empty()) ops.bind(2, siteMac);
  SQLite::Statement results(m_db,
                            "SELECT mac, result, detail FROM operation_devices "
                            "WHERE operation_id = ? AND (? = '' OR mac = ?) ORDER BY mac");
  std::vector<SITE_OPERATION_ROW_T> rows;
  while (ops.executeStep()) {
    SITE_OPERATION_ROW_T row;
    row.id = ops.getColumn(0).getInt64();
    row.time = ops.getColumn(1).getInt64();
    row.kind = ops.getColumn(2).getString();
    row.source = ops.getColumn(3).getString();
    row.parameters = ops.getColumn(4).getString();
    results.reset();
    results.bind(1, row.id);
    results.bind(2, siteMac);
    results.bind(3, siteMac);
    while (results.executeStep()) {
      row.results.push_back({results.getColumn(0).getString(),
                             results.getColumn(1).getString() == "ok",
                             results.getColumn(2).getString()});
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<SITE_OPEN_PROBLEM_T> CSiteReader::OpenProblems() const {
  SQLite::Statement query(m_db,
                          "SELECT mac, code, value, since FROM open_problems "
                          "ORDER BY code, value, mac");
  std::vector<SITE_OPEN_PROBLEM_T> rows;
  while (query.executeStep()) {
    rows.push_back({query.getColumn(0).getString(), query.getColumn(1).getString(),
                    query.getColumn(2).getString(), query.getColumn(3).getInt64()});
  }
  return rows;
}

int64_t CSiteReader::LastActivity() const {
  return m_db
      .execAndGet(
          "SELECT max(coalesce((SELECT max(last_seen) FROM devices), 0), "
          "coalesce((SELECT max(time) FROM operations), 0), "
          "coalesce((SELECT max(time) FROM events), 0))")
      .getInt64();
}
