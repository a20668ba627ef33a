#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/common/device_entry.h"
#include "core/control/control_notify.h"
#include "core/control/device_answer_listeners.h"
#include "core/site/site_problems.h"
#include "record/mac_key_map.h"
#include "record/site_operation.h"

namespace SQLite {
class Database;
}

// Records a site while a front end runs: every device seen and every change of its values, every
// operation with each device's result, and the problems as they appear and go.
//
// Nothing here waits on the database. The control core's worker thread hands in discovery
// answers (as an answer listener) and configuration reports (as a notify object); they pass a
// filter that lets a device through only when one of its values changed or its last-seen time is a
// minute old, and land in a queue. A writer thread writes the queue once a second in one
// transaction, comparing each device with its row to record the changes. Killed at any moment, the
// site loses at most that last second.
//
// When the disk is full (or the file cannot be written for another reason) the recorder tells
// the front end once, stops recording, and everything else goes on.
class CSiteRecorder : public CControlBaseNotify, public IDeviceAnswerListener {
public:
  // Milliseconds since 1970; the system clock unless a test hands in its own.
  using WallClock = std::function<int64_t()>;
  // A text for the user (why recording stopped). Called on the thread that found it.
  using NoticeSink = std::function<void(const std::string&)>;

  static constexpr int64_t kFlushPeriodMs = 1000;
  static constexpr int64_t kLastSeenPeriodMs = 60000;

  // db may be null (the site could not be opened): nothing is recorded then.
  CSiteRecorder(std::unique_ptr<SQLite::Database> db, std::string source, WallClock clock = {});
  ~CSiteRecorder() override;
  CSiteRecorder(const CSiteRecorder&) = delete;
  CSiteRecorder& operator=(const CSiteRecorder&) = delete;

  void SetNoticeSink(NoticeSink sink);
  // Starts the writer thread (a flush a second). Without it, Flush writes on the caller's thread.
  void Start();
  // Writes what is queued and ends the writer thread. Safe to call twice.
  void Stop();

  // Worker thread (IDeviceAnswerListener, IControlNotify).
  void OnDeviceAnswer(const DEVICE_ENTRY_T& device) override;
  void OnReportConfig(std::string deviceKey, std::string ip, int port,
                      const std::vector<std::string>* items) override;

  // Any thread. The operation is written with the next flush.
  void RecordOperation(SITE_OPERATION_T operation);
  // Any thread: the problems worked out over the table now (CSiteProblems::Compute). Devices of
  // the table whose problems changed get events, in table order; devices not in the table keep
  // theirs.
  void RecordProblems(const std::vector<DEVICE_ENTRY_T>& table, const SiteProblemMap& problems);

  // Writes everything queued in one transaction. True when written (or nothing was queued).
  bool Flush();
  bool Recording() const { return m_recording; }
  // Transactions written so far.
  uint64_t Transactions() const { return m_transactions; }

private:
  // What the filter keeps per device: a hash of the recorded values instead of the texts, under
  // the MAC's 48-bit value instead of its text, so that an answer that changes nothing touches one
  // small entry and allocates nothing (65,000 devices answer every 5 seconds).
  struct CACHED_T {
    uint64_t valuesHash = 0;
    int64_t queuedAt = 0;
  };
  struct PENDING_DEVICE_T {
    uint64_t key = 0;      // MacKeyOf the device's MAC
    std::string otherMac;  // the MAC text when it is no MAC (the key is a hash of it)
    int64_t seen = 0;
    bool seenOnly = false;  // the answer repeated what this recorder wrote: only last-seen moves
    bool answered = false;  // ip, model, room and firmware below are from an answer
    std::string ip, model, room, firmware;
    std::optional<std::string> mode, mask, gateway;
  };
  struct PENDING_PROBLEM_T {
    int64_t time = 0;
    std::string mac, code, value, detail;
    bool found = true;  // false: gone
  };
  // Queued devices in one array, found by MAC key through a flat index: a passing answer adds
  // no node of its own.
  struct PENDING_DEVICES_T {
    std::vector<PENDING_DEVICE_T> list;
    CMacKeyMap<size_t> index;  // MAC key -> position in list
    // The entry of the key (a fresh one, seen == 0, when there was none).
    PENDING_DEVICE_T& At(uint64_t key, const std::string& macText);
    bool empty() const { return list.empty(); }
  };
  struct PENDING_T {
    PENDING_DEVICES_T devices;
    std::vector<SITE_OPERATION_T> operations;
    std::vector<PENDING_PROBLEM_T> problems;
    bool Empty() const { return devices.empty() && operations.empty() && problems.empty(); }
  };
  using ProblemKeys = std::set<std::pair<std::string, std::string>>;  // (code, value)

  static void Merge(PENDING_DEVICE_T& older, PENDING_DEVICE_T newer);
  void WriteAll(const PENDING_T& batch);
  void PutBack(PENDING_T batch);
  void Fail(const std::string& notice);
  void RespellDottedMacs();
  void LoadOpenProblems();
  void WriterLoop();

  std::unique_ptr<SQLite::Database> m_db;
  const std::string m_source;
  WallClock m_clock;
  NoticeSink m_notice;
  std::atomic<bool> m_recording{false};
  std::atomic<uint64_t> m_transactions{0};

  std::mutex m_cacheLock;        // worker thread's filter
  CMacKeyMap<CACHED_T> m_cache;  // by MAC key

  std::mutex m_pendingLock;  // held only to add to the queue or to take it whole
  PENDING_T m_pending;

  std::mutex m_problemLock;
  std::unordered_map<std::string, ProblemKeys> m_openProblems;  // by site MAC

  std::mutex m_flushLock;  // one flush at a time
  std::mutex m_wakeLock;
  std::condition_variable m_wake;
  bool m_stop = false;
  std::thread m_writer;
};
