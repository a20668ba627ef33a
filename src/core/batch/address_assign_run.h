#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/batch/address_plan.h"
#include "core/device/credential_gate.h"
#include "core/device/device_config_keys.h"
#include "core/device/device_operations.h"

class CControl;
class CArpProbe;
class IOpClock;

// Moving planned devices onto their addresses and checking that they arrived. Per device:
//   1. its present settings are read (for the record, so that it can be given back as a plan);
//   2. an ARP claim by another host on the planned address seen since the probe fails it
//      ("conflict found at apply time") before anything is sent to it;
//   3. it is authenticated with the one credential, as the device view does; when the first
//      devices all refused the credential and none accepted it (CCredentialGate), the rest are
//      not tried and end kNotTried, so that a wrong password does not lock every device;
//   4. it is updated to its planned static settings through the device update operation and
//      leaves the device table;
//   5. it succeeds only when a later discovery lists it (by MAC) at its planned address, within
//      the verify time.
// Steps 1-4 talk to one device at a time (the core has one acknowledge slot); up to `parallel`
// devices wait in step 5 together while discoveries go out. Qt-free: the command line runs it on
// the steady clock, tests on a manual one.

enum class AssignStatus { kWaiting, kSuccess, kFailed };
enum class AssignFailure {
  kNone,
  kAuthRefused,
  kNoAck,
  kAckNotOk,
  kNotSeen,
  kConflict,
  kNotTried,  // the first devices refused the credential: it was not tried on this one
};

// "Planned" (not run yet), "Success", "Failed"
const char* AssignStatusText(AssignStatus status);
// "authentication refused", "no acknowledge", "settings refused", "not seen at the new address",
// "conflict found at apply time", "not tried: the credential was refused"; "" for kNone.
const char* AssignFailureText(AssignFailure failure);

// A device's settings before the run, as its configuration report gave them.
struct PreviousSettings {
  bool read = false;  // a report came; otherwise only ip (the discovered address) is known
  std::string type;   // "0" DHCP, "2" static, as reported
  std::string ip, mask, gateway, dns1, dns2;
};

struct AssignOutcome {
  PlannedDevice planned;
  PreviousSettings before;
  AssignStatus status = AssignStatus::kWaiting;
  AssignFailure failure = AssignFailure::kNone;
  std::string detail;  // the claimant's MAC, the device's acknowledge text, ...
  std::chrono::milliseconds elapsed{0};
};

// What the run does to devices; Core() uses the control core, tests put doubles in.
// True when devices refused the credential and none accepted it (the run then stopped before
// the others, unless there were no others): nothing was updated, and the front end asks for the
// credential again.
bool CredentialRefused(const std::vector<AssignOutcome>& outcomes);

struct AssignOps {
  std::function<std::optional<std::map<std::string, std::string>>(const DEVICE_ENTRY_T&)>
      readConfig;
  std::function<device_ops::AuthOutcome(const DEVICE_ENTRY_T&)> authenticate;
  std::function<device_ops::UpdateResult(const DEVICE_ENTRY_T&,
                                         const device_config::NetworkSettings&)>
      update;
  std::function<void(const DEVICE_ENTRY_T&)> forget;  // drop it from the table
  std::function<void()> discover;
  std::function<std::vector<DEVICE_ENTRY_T>()> table;
  // The MAC of another host that claimed the address, or "" (no probe: always "").
  std::function<std::string(uint32_t address)> claimOf;

  // The control core's operations, with the credential; the password stays in the closure.
  static AssignOps Core(CControl& control, IOpClock& clock, std::string user, std::string password,
                        const CArpProbe* probe,
                        std::chrono::milliseconds reportWait = std::chrono::seconds(3));
};

struct AssignOptions {
  int parallel = 8;
  std::chrono::milliseconds verifyTime{std::chrono::seconds(30)};
  std::chrono::milliseconds discoveryPeriod{std::chrono::seconds(2)};
  std::chrono::milliseconds checkPeriod{200};
};

class CAddressAssignRun {
public:
  CAddressAssignRun(std::vector<PlannedDevice> devices, AssignOps ops, IOpClock& clock,
                    AssignOptions options = {});

  // After each device ends, on the thread that runs Run.
  std::function<void(const AssignOutcome&)> progress;

  // Runs until every device has ended.
  void Run();

  const std::vector<AssignOutcome>& Outcomes() const { return m_outcomes; }
  size_t Count(AssignStatus status) const;
  bool AllSucceeded() const { return Count(AssignStatus::kSuccess) == m_outcomes.size(); }

private:
  // Steps 1 to 4; false when the device already ended.
  bool Start(size_t index);
  void Finish(size_t index, AssignStatus status, AssignFailure failure, std::string detail = "");

  std::vector<AssignOutcome> m_outcomes;
  std::vector<std::chrono::milliseconds> m_started;
  AssignOps m_ops;
  IOpClock& m_clock;
  AssignOptions m_options;
  CCredentialGate m_credential;
};
