#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>

#include "shell/entry_bound.h"

class IOpClock;

// Live state of the discovered devices: when each was first and last heard, in which discovery
// round it last answered, and whether it went quiet. Fed by every discovery answer on the
// worker thread (one hash lookup per answer, no copy of anything), read by the window and the
// command line once a second through Snapshot.
//
// Rounds: every discovery multicast starts a round. A round counts as over when the next one
// starts, so a device is not called missing in the moment between a discovery leaving and its
// answer arriving.
enum class EDeviceStatus {
  kOnline,   // answered in the last rounds
  kMissing,  // three rounds in a row without an answer (15 s at a discovery every 5 s)
  kBack,     // answered again after it was missing; shown for a minute, then online again
};

struct DEVICE_STATUS_T {
  std::chrono::milliseconds firstSeen{0};
  std::chrono::milliseconds lastSeen{0};
  uint64_t firstRound = 0;  // round of the first answer (0: before any discovery was sent)
  uint64_t lastRound = 0;   // round of the latest answer
  std::chrono::milliseconds backSince{-1};  // when it answered after missing; -1: never
};

// What a front end shows for one device at one moment.
struct DEVICE_LIVE_T {
  bool known = false;  // the tracker has heard from it
  EDeviceStatus status = EDeviceStatus::kOnline;
  bool isNew = false;  // first seen after the list was opened or refreshed, within a minute
  std::chrono::milliseconds firstSeen{0};
  std::chrono::milliseconds lastSeen{0};
};

// Where a snapshot stands in the tracker's history: enough to ask the tracker whether a snapshot
// taken later would show anything else (CDeviceStatusTracker::ChangedSince).
struct STATUS_STAMP_T {
  uint64_t changes = ~0ull;  // the tracker's count of changes; the default matches none
  std::chrono::milliseconds now{0};
};

// A copy of the tracker's state, taken under its lock; the statuses are worked out from it.
struct STATUS_SNAPSHOT_T {
  std::chrono::milliseconds now{0};
  uint64_t changes = 0;        // the tracker's count of changes at the copy
  uint64_t round = 0;          // the round in progress (the latest discovery)
  uint64_t baselineRound = 1;  // first round after the list was opened or refreshed
  std::unordered_map<std::string, DEVICE_STATUS_T> devices;  // by MAC text, exact

  DEVICE_LIVE_T LiveOf(const std::string& mac) const;
  STATUS_STAMP_T Stamp() const { return {changes, now}; }
};

class CDeviceStatusTracker {
public:
  // Rounds without an answer after which a device is missing.
  static constexpr uint64_t kMissingRounds = 3;
  // How long a device stays new, and stays back after it returned.
  static constexpr std::chrono::milliseconds kFreshFor{60000};

  CDeviceStatusTracker();

  // The clock that stamps answers and snapshots (the steady clock unless a test sets one).
  void SetClock(IOpClock* clock);
  // Off: answers are not recorded (the answer path then costs what it cost without status; the
  // benchmark compares the two). On by default.
  void SetEnabled(bool enabled) { m_enabled = enabled; }

  // A discovery answer from mac (its table key). Constant work. A new MAC past
  // CEntryBound::kDefaultLimit devices is refused (counted, logged).
  void OnAnswer(const std::string& mac);
  // The same with a handle the caller keeps per device: filled here, it lets the next answer
  // skip the lookup (with a /16, each one is a cache miss) until a device is forgotten or the
  // tracker reset. A default handle holds nothing.
  struct HANDLE_T {
    DEVICE_STATUS_T* device = nullptr;
    uint64_t epoch = 0;
  };
  void OnAnswer(const std::string& mac, HANDLE_T* handle);
  uint64_t Refused() const { return m_bound.Refused(); }
  // A discovery multicast left: the next round starts.
  void BeginRound();
  // The list was emptied for a fresh discovery: forget every device; devices first heard in the
  // next round are the new baseline, devices after it are new.
  void Reset();
  void Forget(const std::string& mac);

  STATUS_SNAPSHOT_T Snapshot() const;
  // Whether a snapshot taken now could show any device otherwise than the one stamped `since`:
  // a device heard first, gone missing, back, forgotten, the tracker reset, a new or back mark
  // run out, a back device heard again (its tooltip shows that time). An online device's latest
  // answer time moves without counting. Costs a lock and a lookup, no copy; `now` gets the
  // tracker's time.
  bool ChangedSince(const STATUS_STAMP_T& since, std::chrono::milliseconds* now) const;

  // The status worked out for one device in a snapshot's round and time.
  static EDeviceStatus StatusOf(const DEVICE_STATUS_T& device, const STATUS_SNAPSHOT_T& at);

private:
  static uint64_t MissedRounds(const DEVICE_STATUS_T& device, uint64_t round);
  // Lock held: a new or back mark set at `at` runs out a fresh period later.
  void NoteFreshMark(std::chrono::milliseconds at);
  void MoveLastRound(uint64_t from, uint64_t to);

  std::atomic<bool> m_enabled{true};
  mutable std::mutex m_lock;
  IOpClock* m_clock;
  uint64_t m_round = 0;
  uint64_t m_baselineRound = 1;
  std::unordered_map<std::string, DEVICE_STATUS_T> m_devices;
  uint64_t m_eraseEpoch = 1;  // moves whenever records leave m_devices: handles of before fail
  // For ChangedSince without a walk over the devices: the count of changes, how many devices
  // answered last in each round (a round that starts makes those of one round missing), and
  // when the new and back marks run out, the first and last end in each step of kMarkStep
  // (kept for a while after).
  uint64_t m_changes = 0;
  std::map<uint64_t, size_t> m_lastRoundCounts;
  static constexpr std::chrono::milliseconds kMarkStep{100};
  std::map<int64_t, std::pair<std::chrono::milliseconds, std::chrono::milliseconds>> m_markEnds;
  std::chrono::milliseconds m_markEndsFrom{0};  // ends before this are no longer kept
  CEntryBound m_bound{"device status tracker"};
};

// Short wire and file text of a status: "online", "missing", "back".
const char* StatusText(EDeviceStatus status);
