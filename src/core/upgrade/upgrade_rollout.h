#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/common/device_entry.h"
#include "core/common/op_clock.h"
#include "core/control/control_notify.h"
#include "core/control/device_answer_listeners.h"
#include "core/upgrade/upgrade_follower.h"
#include "core/upgrade/upgrade_resend.h"

class CControl;
class CDownloadLogWatch;

// One device of a rollout and how it ended.
struct RolloutEntry {
  enum class Result { kWaiting, kRunning, kCompleted, kFailed, kTimedOut, kSkipped, kNotSent };

  DEVICE_ENTRY_T device;
  std::string oldVersion;  // firmware when the rollout started
  std::string newVersion;  // firmware the table shows at the end ("" when it is missing)
  Result result = Result::kWaiting;
  std::chrono::milliseconds elapsed{0};  // from the first request to the end
  int tries = 0;                         // upgrade requests sent
  std::string reason;  // why a failed device failed, when it said so (its own text, untrusted)

  bool Final() const { return result != Result::kWaiting && result != Result::kRunning; }
  // Ended on the image's version: completed, or skipped because it already ran it.
  bool OnNewVersion() const { return result == Result::kCompleted || result == Result::kSkipped; }
};

const char* RolloutResultName(RolloutEntry::Result result);

struct RolloutOptions {
  std::string imageName;  // file name in the download folder, e.g. "105.40.1.1.rom"
  std::string host;       // our web server's address as devices reach it
  int parallel = 8;       // devices upgrading at the same time
  // Per device, from its request: after that the last-check rule ends it.
  std::chrono::milliseconds timeout =
      CUpgradeFollower::kCheckPeriod * (CUpgradeFollower::kMaxChecks + 1);
  std::chrono::milliseconds checkPeriod{1000};      // how often the table is looked at
  std::chrono::milliseconds discoveryPeriod{2000};  // brings rebooted devices back into the table
  // A device that has neither acknowledged the request nor begun to fetch the image gets it
  // again at this pace while it still answers (CUpgradeResend).
  ResendPace resendPace = CUpgradeResend::kPace;
};

// The reason a device that refused the image gives, when it gives none of its own.
inline constexpr const char* kRefusedImageReason = "the device refused the image";

// Upgrades many devices with one image: sends UpgradeSend to at most `parallel` devices at a time
// and follows each with the upgrade window's rules (CUpgradeFollower), counting only a device's
// own boot-up. Devices already on the image's version are skipped. A device that shows no sign of
// the request (no acknowledge "OK", no GET of the image from its address in the web server's
// access log) gets the request again by the shared resend rule while it still answers, until the
// rollout's time limit. A device that acknowledges the request with anything but "OK" fails at
// once, with its reason. Qt-free; the command line and the batch upgrade window run it, tests
// step its clock.
class CUpgradeRollout : public CControlBaseNotify, public IDeviceAnswerListener {
public:
  CUpgradeRollout(CControl& control, IOpClock& clock, RolloutOptions options,
                  const std::vector<DEVICE_ENTRY_T>& targets);
  ~CUpgradeRollout() override;

  // Defaults: SendUpgradeMsg to the device, and the core's discovery multicast.
  std::function<bool(const DEVICE_ENTRY_T&)> send;
  std::function<void()> discover;
  // Whether the device has begun to fetch the image (default: a GET from its address in the web
  // server's access log since the rollout was made).
  std::function<bool(const DEVICE_ENTRY_T&)> downloadSeen;
  // After every change of an entry (sent, ended), on the thread that runs Run.
  std::function<void(const RolloutEntry&)> progress;

  // Runs until every device has ended. Registers with the core for boot-ups while it runs.
  void Run();
  // Any thread: no further device is started; those waiting end "not sent", those upgrading
  // are followed to their end.
  void StopStarting() { m_stopStarting = true; }
  // Any thread: the device of entry `index` has sent its boot-up since its request.
  bool BootUpSeen(size_t index) const {
    return index < m_followers.size() && m_followers[index]->BootUpSeen();
  }

  const std::vector<RolloutEntry>& Entries() const { return m_entries; }
  const std::string& ImageVersionText() const { return m_version; }
  bool AllOnNewVersion() const;

  // The core's worker thread: the booted device leaves the table until it answers again; only a
  // device's own boot-up counts for it.
  void OnDeviceBootUp(const std::string& deviceKey) override;
  // The core's worker thread: a device's acknowledge. Only the answer to an upgrade request of a
  // device being followed counts: "OK" holds its resends back, anything else ends it failed.
  void OnDeviceAck(const std::string& deviceKey, const MSG_ACK_T& ack) override;
  // The core's worker thread: a discovery answer; a device that answers may get its request
  // again.
  void OnDeviceAnswer(const DEVICE_ENTRY_T& device) override;

private:
  void Start(size_t index);
  void ResendIfNoDownload(size_t index);
  void Finish(size_t index, UpgradeState state);
  void TakeAnswers(size_t index);
  int IndexOf(const std::string& deviceKey) const;  // -1: not a device being followed

  CControl& m_control;
  IOpClock& m_clock;
  RolloutOptions m_options;
  std::string m_version;
  std::vector<RolloutEntry> m_entries;
  std::vector<std::unique_ptr<CUpgradeFollower>> m_followers;  // fixed size: read by the worker
  std::unique_ptr<std::atomic<bool>[]> m_following;            // boot-ups count while set
  std::vector<std::chrono::milliseconds> m_sentAt;             // the first request
  std::vector<CUpgradeResend> m_resends;
  // Written by the worker, taken on the caller's thread at each check.
  std::unique_ptr<std::atomic<bool>[]> m_heard;
  std::unique_ptr<std::atomic<int>[]> m_acks;  // kAck* below
  std::mutex m_reasonLock;
  std::vector<std::string> m_refusals;                   // per entry, the device's refusal text
  std::unordered_map<std::string, size_t> m_indexByMac;  // fixed after construction
  std::shared_ptr<CDownloadLogWatch> m_downloads;        // the default downloadSeen's
  std::atomic<bool> m_stopStarting{false};
};
