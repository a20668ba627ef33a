#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>

#include "core/common/device_entry.h"
#include "core/common/resend_pacer.h"
// The configuration items a caller fills for an update (CONFIG_MODULE_T) come with the
// operations, so a front end needs nothing of the protocol's own headers.
#include "protocol/request_records.h"
// The acknowledge and authenticate answer records the diagnostics below read.
#include "protocol/reply_records.h"

class CAuthenticateDispatcher;
class CControl;
class IOpClock;

// The exchanges with one device, shared by the device view and the command line. Each returns
// what happened as a value; the caller turns it into message boxes or exit codes. Every packet
// is addressed to the device's IP text and work MAC (port 8500) and keyed by its MAC text, so
// the caller must hand in the device as it is now (after an address change, the new IP).
//
// The waits run on `clock`: the command line sleeps, a window keeps painting, tests step it.
namespace device_ops {

inline constexpr std::chrono::milliseconds kAuthenticateWait{5000};
inline constexpr int kAckPollRounds = 200;
inline constexpr std::chrono::milliseconds kAckPollStep{10};
// A lost request or answer: the authenticate request and the update go out again while nothing
// came back, under the shared resend rule (CResendPacer): after 500 ms, then after gaps doubling
// up to a second, until the wait's end. The authenticate wait is 5000 ms from the first send,
// the acknowledge wait kAckWait; both are shorter than the rule's silence window, so a device
// found by the discovery just before gets the request again until the wait ends.
inline constexpr std::chrono::milliseconds kResendAfter{500};
inline constexpr ResendPace kDevicePace{kResendAfter, std::chrono::milliseconds(1000),
                                        std::chrono::milliseconds(12000)};
inline constexpr std::chrono::milliseconds kAckWait{5000};
// A configuration request goes out again every second until the report comes.
inline constexpr std::chrono::milliseconds kConfigResendAfter{1000};
inline constexpr std::chrono::milliseconds kRemoteControlPause{500};
inline constexpr const char* kCommandReboot = "Reboot";
inline constexpr const char* kCommandReset = "ResetToFactory";

enum class AuthOutcome {
  kAccepted,
  kRefused,           // the device answered with a result other than 0
  kNoAnswer,          // no answer carrying our identifier within the wait
  kNotBuilt,          // the request could not be built (logged)
  kEmptyCredentials,  // nothing was sent
};

// Sends an authenticate request with a fresh 32-character identifier (never one handed out
// recently, see CAuthenticateDispatcher::NewIdentifier) and waits up to 5000 ms
// for the answer carrying it, sending the same request again while none came (kDevicePace).
// `logName` names the caller in the log lines of a build failure and of each resend. The password
// is not logged and is wiped from the request and packet once the wait ends. *tries (when given) is
// the number of sends.
AuthOutcome Authenticate(CAuthenticateDispatcher& waits, IOpClock& clock,
                         const DEVICE_ENTRY_T& device, const std::string& user,
                         const std::string& password, const char* logName, int* tries = nullptr);

// Asks the device for its addressing type and the five Status values (by the interface rule).
// The answer reaches the notify objects as a configuration report.
void RequestConfig(CControl& control, const DEVICE_ENTRY_T& device);

// RequestConfig, then waits up to `limit` for the device's report carrying its address
// (Config.Status.IP), requesting again every second while none came; the report's items as a
// map (ParseReportItems), or nothing when none came. *tries (when given) is the number of
// requests sent.
std::optional<std::map<std::string, std::string>> ReadConfig(CControl& control, IOpClock& clock,
                                                             const DEVICE_ENTRY_T& device,
                                                             std::chrono::milliseconds limit,
                                                             int* tries = nullptr);

enum class UpdateOutcome {
  kSucceeded,  // acknowledged with exactly "OK"
  kNoAck,      // no acknowledge within kAckWait
  kAckNotOk,   // acknowledged with another result (its text in UpdateResult)
  kNotBuilt,   // the update could not be built (logged); nothing was sent
};

struct UpdateResult {
  UpdateOutcome outcome = UpdateOutcome::kNoAck;
  std::string result;  // the acknowledge's Result and Info, when one came
  std::string info;
  int tries = 0;  // updates sent
};

// Sends the items as an update and waits for the device's acknowledge in the core's wait slot,
// which is opened before the packet leaves. Without an acknowledge the same update goes out
// again (kDevicePace) until kAckWait has passed since the first. An update that gives the
// device a new static address is resent to the new address too (the device may have moved).
UpdateResult UpdateConfig(CControl& control, IOpClock& clock, const DEVICE_ENTRY_T& device,
                          const CONFIG_MODULE_T& items, const char* logName);

enum class RemoteOutcome {
  kSent,      // the frame left (the device acknowledges nothing)
  kNotBuilt,  // the request could not be built (info log "<logName>:BuildRemoteControlMsg
              // error!"); nothing was sent
  kNotSent,   // built, but the transport could not send the frame (logged)
};

// Sends a remote control command (kCommandReboot or kCommandReset) and, once sent, pauses 500 ms;
// nothing is awaited.
RemoteOutcome RemoteControl(IOpClock& clock, const DEVICE_ENTRY_T& device, const char* command,
                            const char* logName);

// For diagnostics (the command line's hidden "config" command), which shows each exchange as the
// core sees it: one authenticate request with the caller's identifier, sent once, not awaited
// (the answer reaches CControl's authenticate callback). false when it could not be built.
bool SendAuthenticateOnce(const DEVICE_ENTRY_T& device, const std::string& user,
                          const std::string& password, const std::string& identifier,
                          const char* logName);

// The texts of an acknowledge and of an authenticate answer, as the device sent them.
struct AckTexts {
  std::string msgId, msgCrc, result, info;
};
AckTexts TextsOf(const MSG_ACK_T& ack);
std::string IdentifierOf(const COMMON_ACK_T& answer);
std::string DescriptionOf(const COMMON_ACK_T& answer);

}  // namespace device_ops
