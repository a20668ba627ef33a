#include "record/site_recorder.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>
#include <sqlite3.h>

#include <chrono>
#include <unordered_set>

#include "core/device/device_config_keys.h"
#include "record/site_database.h"
#include "shell/log.h"

namespace {

int64_t SystemNowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::string ModeText(const std::string& type) {
  if (type == device_config::kTypeDhcp) return "dhcp";
  if (type == device_config::kTypeStatic) return "static";
  return type;
}

// FNV-1a over the recorded values of an answer, each ended by a byte no text holds.
uint64_t ValuesHash(const DEVICE_ENTRY_T& d) {
  uint64_t hash = 1469598103934665603ull;
  for (const std::string* text : {&d.ip, &d.model, &d.deviceId, &d.firmware}) {
    for (const char c : *text) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    hash = (hash ^ 0xFFu) * 1099511628211ull;
  }
  return hash;
}

bool IsBusy(int code) { return (code & 0xFF) == SQLITE_BUSY || (code & 0xFF) == SQLITE_LOCKED; }

}  // namespace

CSiteRecorder::CSiteRecorder(std::unique_ptr<SQLite::Database> db, std::string source,
                             WallClock clock)
    : m_db(std::move(db)), m_source(std::move(source)), m_clock(std::move(clock)) {
  if (!m_clock) m_clock = SystemNowMs;
  m_recording = m_db != nullptr;
  if (!m_recording) return;
  RespellDottedMacs();
  LoadOpenProblems();
}

CSiteRecorder::~CSiteRecorder() { Stop(); }

void CSiteRecorder::SetNoticeSink(NoticeSink sink) { m_notice = std::move(sink); }

void CSiteRecorder::Start() {
  if (!m_recording || m_writer.joinable()) return;
  m_stop = false;
  m_writer = std::thread([this] { WriterLoop(); });
}

void CSiteRecorder::Stop() {
  {
    std::lock_guard<std::mutex> lock(m_wakeLock);
    m_stop = true;
  }
  m_wake.notify_all();
  if (m_writer.joinable()) m_writer.join();
  Flush();
}

void CSiteRecorder::WriterLoop() {
  std::unique_lock<std::mutex> lock(m_wakeLock);
  while (!m_stop) {
    m_wake.wait_for(lock, std::chrono::milliseconds(kFlushPeriodMs), [this] { return m_stop; });
    if (m_stop) break;
    lock.unlock();
    Flush();
    lock.lock();
  }
}

void CSiteRecorder::OnDeviceAnswer(const DEVICE_ENTRY_T& device) {
  if (!m_recording) return;
  const int64_t now = m_clock();
  bool seenOnly = false;
  const uint64_t key = MacKeyOf(device.mac);
  {
    std::lock_guard<std::mutex> lock(m_cacheLock);
    const uint64_t hash = ValuesHash(device);
    CACHED_T& cached = m_cache[key];
    const bool same = cached.queuedAt != 0 && cached.valuesHash == hash;
    if (same && now - cached.queuedAt < kLastSeenPeriodMs) return;
    seenOnly = same;
    cached.valuesHash = hash;
    cached.queuedAt = now;
  }
  PENDING_DEVICE_T pending;
  pending.seen = now;
  pending.seenOnly = seenOnly;
  pending.answered = true;
  pending.ip = device.ip;
  pending.model = device.model;
  pending.room = device.deviceId;
  pending.firmware = device.firmware;
  std::lock_guard<std::mutex> lock(m_pendingLock);
  Merge(m_pending.devices.At(key, device.mac), std::move(pending));
}

void CSiteRecorder::OnReportConfig(std::string deviceKey, std::string, int,
                                   const std::vector<std::string>* items) {
  if (!m_recording || items == nullptr) return;
  const auto report = device_config::ParseReportItems(*items);
  PENDING_DEVICE_T pending;
  pending.seen = m_clock();
  const std::string type = device_config::ReportedType(report);
  if (!type.empty()) pending.mode = ModeText(type);
  if (auto it = report.find(device_config::kStatusNetmask); it != report.end())
    pending.mask = it->second;
  if (auto it = report.find(device_config::kStatusGateway); it != report.end())
    pending.gateway = it->second;
  if (!pending.mode && !pending.mask && !pending.gateway) return;
  std::lock_guard<std::mutex> lock(m_pendingLock);
  Merge(m_pending.devices.At(MacKeyOf(deviceKey), deviceKey), std::move(pending));
}

CSiteRecorder::PENDING_DEVICE_T& CSiteRecorder::PENDING_DEVICES_T::At(uint64_t key,
                                                                      const std::string& macText) {
  size_t& position = index[key];
  if (position == 0) {
    // Positions are kept one up, so that a fresh index entry (0) means "not queued yet".
    list.emplace_back();
    list.back().key = key;
    if (!IsMacKey(key)) list.back().otherMac = macText;
    position = list.size();
  }
  return list[position - 1];
}

void CSiteRecorder::Merge(PENDING_DEVICE_T& older, PENDING_DEVICE_T newer) {
  // Only last-seen moves when both say so (an empty entry is fresh from the map).
  const bool fresh = older.seen == 0;
  older.seenOnly = newer.seenOnly && (fresh || older.seenOnly);
  older.seen = std::max(older.seen, newer.seen);
  if (newer.answered) {
    older.answered = true;
    older.ip = std::move(newer.ip);
    older.model = std::move(newer.model);
    older.room = std::move(newer.room);
    older.firmware = std::move(newer.firmware);
  }
  if (newer.mode) older.mode = std::move(newer.mode);
  if (newer.mask) older.mask = std::move(newer.mask);
  if (newer.gateway) older.gateway = std::move(newer.gateway);
}

void CSiteRecorder::RecordOperation(SITE_OPERATION_T operation) {
  if (!m_recording) return;
  if (operation.time == 0) operation.time = m_clock();
  std::lock_guard<std::mutex> lock(m_pendingLock);
  m_pending.operations.push_back(std::move(operation));
}

void CSiteRecorder::RecordProblems(const std::vector<DEVICE_ENTRY_T>& table,
                                   const SiteProblemMap& problems) {
  if (!m_recording) return;
  const int64_t now = m_clock();
  std::vector<PENDING_PROBLEM_T> events;
  std::lock_guard<std::mutex> lock(m_problemLock);
  auto compare = [&](const std::string& mac, const ProblemKeys& current,
                     const std::vector<SITE_PROBLEM_T>* found) {
    ProblemKeys& open = m_openProblems[mac];
    for (const auto& key : open) {
      if (!current.count(key)) events.push_back({now, mac, key.first, key.second, "", false});
    }
    if (found != nullptr) {
      for (const SITE_PROBLEM_T& p : *found) {
        const std::pair<std::string, std::string> key{CSiteProblems::Code(p.code), p.value};
        if (open.count(key)) continue;
        std::string others;
        for (const std::string& other : p.others)
          others += (others.empty() ? "" : " ") + SiteMacText(other);
        events.push_back({now, mac, key.first, key.second, others, true});
      }
    }
    open = current;
    if (open.empty()) m_openProblems.erase(mac);
  };
  // In table order, so the events of one look come in the order the list shows the devices.
  std::unordered_set<std::string> listed;
  for (const DEVICE_ENTRY_T& d : table) {
    const auto it = problems.find(d.mac);
    if (it == problems.end()) continue;
    ProblemKeys current;
    for (const SITE_PROBLEM_T& p : it->second)
      current.insert({CSiteProblems::Code(p.code), p.value});
    const std::string mac = SiteMacText(d.mac);
    if (!listed.insert(mac).second) continue;
    compare(mac, current, &it->second);
  }
  // Recorded problems of devices that have none now, provided the table lists the device (a
  // device not in the table keeps its problems).
  std::unordered_set<std::string> candidates;
  for (const auto& [mac, open] : m_openProblems) {
    if (!listed.count(mac)) candidates.insert(mac);
  }
  std::vector<std::string> cleared;
  if (!candidates.empty()) {
    for (const DEVICE_ENTRY_T& d : table) {
      const std::string mac = SiteMacText(d.mac);
      if (candidates.erase(mac)) cleared.push_back(mac);
    }
  }
  for (const std::string& mac : cleared) compare(mac, {}, nullptr);
  if (events.empty()) return;
  std::lock_guard<std::mutex> pendingLock(m_pendingLock);
  for (PENDING_PROBLEM_T& e : events) m_pending.problems.push_back(std::move(e));
}

void CSiteRecorder::RespellDottedMacs() {
  // Records written before every table took the one spelling hold a dotted MAC
  // ("021a.2b3c.4d5e") in these tables as the device sent it, while the devices table has its
  // colon spelling: give those rows the recorded spelling so that they join again. Only texts that
  // are a MAC change; the tables keep their shape.
  static const char* const kTables[] = {"operation_devices", "events", "open_problems"};
  try {
    SQLite::Transaction transaction(*m_db, SQLite::TransactionBehavior::IMMEDIATE);
    for (const char* table : kTables) {
      std::vector<std::string> dotted;
      SQLite::Statement query(
          *m_db, std::string("SELECT DISTINCT mac FROM ") + table + " WHERE instr(mac, '.') > 0");
      while (query.executeStep()) dotted.push_back(query.getColumn(0).getString());
      SQLite::Statement respell(
          *m_db, std::string("UPDATE OR REPLACE ") + table + " SET mac = ? WHERE mac = ?");
      for (const std::string& mac : dotted) {
        if (!IsMacText(mac)) continue;
        respell.reset();
        respell.bind(1, SiteMacText(mac));
        respell.bind(2, mac);
        respell.exec();
      }
    }
    transaction.commit();
  } catch (const SQLite::Exception& e) {
    LogError("CSiteRecorder: respelling dotted MACs failed: %s", e.what());
  }
}

void CSiteRecorder::LoadOpenProblems() {
  try {
    SQLite::Statement query(*m_db, "SELECT mac, code, value FROM open_problems");
    while (query.executeStep()) {
      m_openProblems[query.getColumn(0).getString()].insert(
          {query.getColumn(1).getString(), query.getColumn(2).getString()});
    }
  } catch (const SQLite::Exception& e) {
    LogError("CSiteRecorder: reading the open problems failed: %s", e.what());
  }
}

bool CSiteRecorder::Flush() {
  std::lock_guard<std::mutex> flushLock(m_flushLock);
  if (!m_recording) return false;
  PENDING_T batch;
  {
    std::lock_guard<std::mutex> lock(m_pendingLock);
    if (m_pending.Empty()) return true;
    std::swap(batch, m_pending);
  }
  try {
    SQLite::Transaction transaction(*m_db, SQLite::TransactionBehavior::IMMEDIATE);
    WriteAll(batch);
    transaction.commit();
    ++m_transactions;
    return true;
  } catch (const SQLite::Exception& e) {
    if (IsBusy(e.getErrorCode())) {
      // Another program held the site longer than the busy time-out: try again next second.
      LogError("CSiteRecorder: the site is busy, writing again later: %s", e.what());
      PutBack(std::move(batch));
      return false;
    }
    Fail(CSiteDatabase::IsDiskFull(e.getErrorCode()) ? std::string("the disk is full")
                                                     : std::string("writing failed: ") + e.what());
    return false;
  }
}

void CSiteRecorder::PutBack(PENDING_T batch) {
  std::lock_guard<std::mutex> lock(m_pendingLock);
  for (PENDING_DEVICE_T& device : m_pending.devices.list)
    Merge(batch.devices.At(device.key, device.otherMac), std::move(device));
  for (auto& op : m_pending.operations) batch.operations.push_back(std::move(op));
  for (auto& p : m_pending.problems) batch.problems.push_back(std::move(p));
  m_pending = std::move(batch);
}

void CSiteRecorder::Fail(const std::string& reason) {
  m_recording = false;
  {
    std::lock_guard<std::mutex> lock(m_pendingLock);
    m_pending = PENDING_T();
  }
  const std::string notice = "site record: " + reason + "; recording stopped (" +
                             m_db->getFilename() + "), everything else goes on";
  LogError("CSiteRecorder: %s", notice.c_str());
  if (m_notice) m_notice(notice);
}

void CSiteRecorder::WriteAll(const PENDING_T& batch) {
  SQLite::Database& db = *m_db;
  if (!batch.devices.empty()) {
    SQLite::Statement select(db,
                             "SELECT ip, model, room, firmware, mode, mask, gateway FROM devices "
                             "WHERE mac = ?");
    SQLite::Statement insert(db,
                             "INSERT INTO devices(mac, first_seen, last_seen, ip, model, room, "
                             "firmware, mode, mask, gateway) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    SQLite::Statement update(
        db,
        "UPDATE devices SET last_seen = max(last_seen, ?), ip = ?, model = ?, "
        "room = ?, firmware = ?, mode = ?, mask = ?, gateway = ? WHERE mac = ?");
    SQLite::Statement change(db,
                             "INSERT INTO changes(time, mac, field, old_value, new_value) "
                             "VALUES(?, ?, ?, ?, ?)");
    SQLite::Statement event(db, "INSERT INTO events(time, kind, mac) VALUES(?, 'new', ?)");
    SQLite::Statement seen(db, "UPDATE devices SET last_seen = max(last_seen, ?) WHERE mac = ?");
    for (const PENDING_DEVICE_T& d : batch.devices.list) {
      const std::string mac = IsMacKey(d.key) ? FormatMac(d.key) : d.otherMac;
      if (d.seenOnly) {
        // Most writes of a long run: a device answering as before, once a minute.
        seen.reset();
        seen.bind(1, d.seen);
        seen.bind(2, mac);
        if (seen.exec() > 0) continue;
      }
      select.reset();
      select.bind(1, mac);
      if (!select.executeStep()) {
        if (!d.answered) continue;  // settings of a device no answer of which was recorded yet
        insert.reset();
        insert.bind(1, mac);
        insert.bind(2, d.seen);
        insert.bind(3, d.seen);
        const std::string values[] = {d.ip,
                                      d.model,
                                      d.room,
                                      d.firmware,
                                      d.mode.value_or(""),
                                      d.mask.value_or(""),
                                      d.gateway.value_or("")};
        for (int i = 0; i < 7; ++i) insert.bind(4 + i, values[i]);
        insert.exec();
        event.reset();
        event.bind(1, d.seen);
        event.bind(2, mac);
        event.exec();
        continue;
      }
      static const char* const kFields[] = {"ip",   "model", "room",   "firmware",
                                            "mode", "mask",  "gateway"};
      std::string values[7];
      for (int i = 0; i < 7; ++i) values[i] = select.getColumn(i).getString();
      const std::optional<std::string> fresh[] = {
          d.answered ? std::optional(d.ip) : std::nullopt,
          d.answered ? std::optional(d.model) : std::nullopt,
          d.answered ? std::optional(d.room) : std::nullopt,
          d.answered ? std::optional(d.firmware) : std::nullopt,
          d.mode,
          d.mask,
          d.gateway};
      for (int i = 0; i < 7; ++i) {
        if (!fresh[i] || *fresh[i] == values[i]) continue;
        // Mode, mask and gateway are learned from a report some time after the device was
        // first seen: the first value is no change.
        const bool firstLearned = i >= 4 && values[i].empty();
        const std::string old = std::exchange(values[i], *fresh[i]);
        if (firstLearned) continue;
        change.reset();
        change.bind(1, d.seen);
        change.bind(2, mac);
        change.bind(3, kFields[i]);
        change.bind(4, old);
        change.bind(5, *fresh[i]);
        change.exec();
      }
      update.reset();
      update.bind(1, d.seen);
      for (int i = 0; i < 7; ++i) update.bind(2 + i, values[i]);
      update.bind(9, mac);
      update.exec();
    }
  }
  if (!batch.operations.empty()) {
    SQLite::Statement op(db,
                         "INSERT INTO operations(time, kind, source, parameters) "
                         "VALUES(?, ?, ?, ?)");
    SQLite::Statement result(db,
                             "INSERT OR REPLACE INTO operation_devices(operation_id, mac, result, "
                             "detail) VALUES(?, ?, ?, ?)");
    for (const SITE_OPERATION_T& o : batch.operations) {
      op.reset();
      op.bind(1, o.time);
      op.bind(2, SiteOperationName(o.kind));
      op.bind(3, o.source.empty() ? m_source : o.source);
      op.bind(4, SiteOperationParametersJson(o.parameters));
      op.exec();
      const int64_t id = db.getLastInsertRowid();
      for (const SITE_OPERATION_RESULT_T& r : o.results) {
        result.reset();
        result.bind(1, id);
        result.bind(2, SiteMacText(r.mac));
        result.bind(3, r.ok ? "ok" : "failed");
        result.bind(4, r.detail);
        result.exec();
      }
    }
  }
  if (!batch.problems.empty()) {
    SQLite::Statement event(db,
                            "INSERT INTO events(time, kind, mac, code, detail) "
                            "VALUES(?, ?, ?, ?, ?)");
    SQLite::Statement open(db,
                           "INSERT OR IGNORE INTO open_problems(mac, code, value, since) "
                           "VALUES(?, ?, ?, ?)");
    SQLite::Statement close(db,
                            "DELETE FROM open_problems WHERE mac = ? AND code = ? AND value = ?");
    for (const PENDING_PROBLEM_T& p : batch.problems) {
      event.reset();
      event.bind(1, p.time);
      event.bind(2, p.found ? "problem" : "problem_gone");
      event.bind(3, p.mac);
      event.bind(4, p.code);
      event.bind(5, p.value + (p.detail.empty() ? "" : " " + p.detail));
      event.exec();
      SQLite::Statement& row = p.found ? open : close;
      row.reset();
      row.bind(1, p.mac);
      row.bind(2, p.code);
      row.bind(3, p.value);
      if (p.found) row.bind(4, p.time);
      row.exec();
    }
  }
}
