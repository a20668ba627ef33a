#pragma once

#include <atomic>
#include <chrono>
#include <string>

#include "core/common/device_entry.h"

class CControl;

// Outcome of following one device through its firmware upgrade. The numbers are the upgrade
// window's states.
enum class UpgradeState : int {
  kInProgress = 0,
  kCompleted = 1,
  kTimedOut = 2,  // no matching firmware after the last check
  kFailed = 3,    // came back after a boot-up with another firmware, or the request failed
};

// Follows one device after its UpgradeSend by looking at the control core's device table once
// per check; the caller drives the checks (every 10 seconds in the window, from a timer), so
// tests step them. Rules of one check, in this order:
//   1. after kMaxChecks checks: completed when the firmware matches, else timed out;
//   2. after a boot-up: once the device is in the table again, completed when the firmware
//      matches, else failed; while it is missing, keep waiting;
//   3. completed as soon as the table shows the expected firmware (no boot-up needed).
// A final state stays. Boot-ups come on the core's worker thread (NoteBootUp); the rest runs on
// the caller's thread.
class CUpgradeFollower {
public:
  static constexpr unsigned kMaxChecks = 91;
  static constexpr std::chrono::milliseconds kCheckPeriod{10000};

  // Which boot-ups count: the window treats any device's boot-up as the upgraded one's; a
  // rollout over many devices only counts each device's own.
  enum class BootUpScope { kAnyDevice, kThisDevice };

  // maxChecks: the check after that many checks applies the last-check rule.
  CUpgradeFollower(CControl& control, std::string mac, std::string workMac,
                   std::string expectedVersion, BootUpScope scope, unsigned maxChecks = kMaxChecks);

  // A boot-up message from `deviceKey` (the core's worker thread): the booted device leaves the
  // table until its next discovery answer, then the boot-up is noted (NoteBootUp).
  void OnDeviceBootUp(const std::string& deviceKey);
  // Notes a boot-up without touching the table. True when it counts for this device.
  bool NoteBootUp(const std::string& deviceKey);
  // The key names this device: its MAC text, or its MAC or work MAC in another spelling.
  bool IsThisDevice(const std::string& deviceKey) const;
  bool BootUpSeen() const { return m_bootUpSeen.load(); }

  // One check; returns the state after it. Counts the check, also in a final state (the
  // window's timer stops then).
  UpgradeState Check();

  // The last check (rule 1 alone): completed when the firmware matches, else timed out. A
  // rollout with its own time limit calls it when the limit has passed.
  UpgradeState CheckLast();

  // The table shows the device (by its MAC, exactly) with the expected firmware.
  bool FirmwareMatches() const;

  UpgradeState State() const { return m_state; }
  unsigned Ticks() const { return m_ticks; }
  const std::string& ExpectedVersion() const { return m_expected; }
  // Marks the upgrade failed without checking (the request could not be sent).
  void Fail() { m_state = UpgradeState::kFailed; }

private:
  CControl& m_control;
  std::string m_mac;
  std::string m_workMac;
  std::string m_expected;
  BootUpScope m_scope;
  unsigned m_maxChecks;
  UpgradeState m_state = UpgradeState::kInProgress;
  unsigned m_ticks = 0;
  std::atomic<bool> m_bootUpSeen{false};
};
