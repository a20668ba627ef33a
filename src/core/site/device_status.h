#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
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

// A copy of the tracker's state, taken under its lock; the statuses are worked out from it.
struct STATUS_SNAPSHOT_T {
  std::chrono::milliseconds now{0};
  uint64_t round = 0;          // the round in progress (the latest discovery)
  uint64_t baselineRound = 1;  // first round after the list was opened or refreshed
  std::unordered_map<std::string, DEVICE_STATUS_T> devices;  // by MAC text, exact

  DEVICE_LIVE_T LiveOf(const std::string& mac) const;
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
  uint64_t Refused() const { return m_bound.Refused(); }
  // A discovery multicast left: the next round starts.
  void BeginRound();
  // The list was emptied for a fresh discovery: forget every device; devices first heard in the
  // next round are the new baseline, devices after it are new.
  void Reset();
  void Forget(const std::string& mac);

  STATUS_SNAPSHOT_T Snapshot() const;

  // The status worked out for one device in a snapshot's round and time.
  static EDeviceStatus StatusOf(const DEVICE_STATUS_T& device, const STATUS_SNAPSHOT_T& at);

private:
  static uint64_t MissedRounds(const DEVICE_STATUS_T& device, uint64_t round);

  std::atomic<bool> m_enabled{true};
  mutable std::mutex m_lock;
  IOpClock* m_clock;
  uint64_t m_round = 0;
  uint64_t m_baselineRound = 1;
  std::unordered_map<std::string, DEVICE_STATUS_T> m_devices;
  CEntryBound m_bound{"device status tracker"};
};

// Short wire and file text of a status: "online", "missing", "back".
const char* StatusText(EDeviceStatus status);
