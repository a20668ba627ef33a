#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/common/device_entry.h"
#include "core/control/control_notify.h"
#include "core/device/credential_gate.h"
#include "core/device/device_operations.h"

class CAuthenticateDispatcher;
class CControl;
class IOpClock;

// One device of a batch reboot and where it stands.
struct BatchRebootRow {
  enum class State {
    kWaiting,
    kAuthenticating,
    kRebooting,  // the command went out; waiting for the device to come back
    kRebooted,   // its boot-up, or its discovery answer after it had gone, was seen
    kRefused,    // the device refused the user name and password
    kNoAnswer,   // no answer to the authentication
    kNotSent,    // the request could not be built or the run was stopped before it
    kNoBootUp,   // rebooted, but neither a boot-up nor a new answer came in time
    kNotTried,   // the first devices refused the credential, so it was not tried on this one
  };
  DEVICE_ENTRY_T device;
  State state = State::kWaiting;
  std::chrono::milliseconds elapsed{0};  // from the command to the end

  bool Final() const {
    return state != State::kWaiting && state != State::kAuthenticating &&
           state != State::kRebooting;
  }
};

// "waiting", "authenticating", "rebooting", "rebooted", "refused", "no answer", "not sent",
// "no boot-up", "not tried".
const char* BatchRebootStateName(BatchRebootRow::State state);

// Reboots many devices with one user name and password: one after another, each device is
// authenticated and, once it accepted, sent the reboot command. A rebooted device counts as
// back when its own boot-up (by MAC or work MAC) arrives, or when it answers a discovery again
// after it had left the table; after kBootUpWait without either it ends "no boot-up". When the
// first devices all refused the credential and none accepted it (CCredentialGate), the others
// end "not tried" without a request, and CredentialRefused() says so. Qt-free:
// the batch reboot window runs it on a thread of its own, tests step its clock.
class CBatchRebootRun : public CControlBaseNotify {
public:
  static constexpr std::chrono::milliseconds kBootUpWait{180000};
  static constexpr std::chrono::milliseconds kCheckPeriod{1000};
  static constexpr std::chrono::milliseconds kDiscoveryPeriod{3000};

  CBatchRebootRun(CControl& control, CAuthenticateDispatcher& waits, IOpClock& clock,
                  std::vector<DEVICE_ENTRY_T> devices);
  ~CBatchRebootRun() override;

  // Defaults: device_ops::Authenticate, device_ops::RemoteControl with "Reboot", the core's
  // discovery multicast. Tests replace them.
  std::function<device_ops::AuthOutcome(const DEVICE_ENTRY_T&, const std::string& user,
                                        const std::string& password)>
      authenticate;
  std::function<bool(const DEVICE_ENTRY_T&)> reboot;
  std::function<void()> discover;
  // After every change of a row, on the thread that runs Run.
  std::function<void(size_t row, const BatchRebootRow&)> changed;

  // Runs to the end; the password is wiped when it returns.
  void Run(const std::string& user, std::string password);
  // Any thread: no further device is authenticated; those waiting end "not sent".
  void StopStarting() { m_stop = true; }

  const std::vector<BatchRebootRow>& Rows() const { return m_rows; }
  // Devices refused the credential and none accepted it; after the first few refusals the
  // others were not tried. Nothing was rebooted then.
  bool CredentialRefused() const { return m_credential.OnlyRefusals(); }

  // The core's worker thread.
  void OnDeviceBootUp(const std::string& deviceKey) override;

private:
  void Set(size_t row, BatchRebootRow::State state);
  bool IsRow(size_t row, const std::string& deviceKey) const;
  void Follow();  // waits until every rebooting row has ended

  CControl& m_control;
  IOpClock& m_clock;
  std::vector<BatchRebootRow> m_rows;
  std::vector<std::chrono::milliseconds> m_sentAt;
  std::unique_ptr<std::atomic<bool>[]> m_following;  // boot-ups count while set
  std::unique_ptr<std::atomic<bool>[]> m_bootUp;
  std::vector<bool> m_leftTable;
  std::atomic<bool> m_stop{false};
  CCredentialGate m_credential;
};
