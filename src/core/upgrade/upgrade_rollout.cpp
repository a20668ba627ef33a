#include "core/upgrade/upgrade_rollout.h"

#include <algorithm>
#include <climits>

#include "core/control/control.h"
#include "core/upgrade/download_log_watch.h"
#include "core/upgrade/upgrade_request.h"
#include "protocol/msg_header.h"
#include "protocol/reply_records.h"
#include "protocol/text_field.h"
#include "shell/log.h"

namespace {

enum : int { kAckNone = 0, kAckOk = 1, kAckRefused = 2 };

// Whether an acknowledge answers an upgrade request: its MsgID names the request's message ID
// (devices write it in decimal).
bool AnswersUpgradeRequest(const MSG_ACK_T& ack) {
  return FieldToUtf8(ack.szMsgID) == std::to_string(MSG_UPGRADE_SEND);
}

}  // namespace

const char* RolloutResultName(RolloutEntry::Result result) {
  switch (result) {
    case RolloutEntry::Result::kWaiting:
      return "waiting";
    case RolloutEntry::Result::kRunning:
      return "upgrading";
    case RolloutEntry::Result::kCompleted:
      return "completed";
    case RolloutEntry::Result::kFailed:
      return "failed";
    case RolloutEntry::Result::kTimedOut:
      return "timed out";
    case RolloutEntry::Result::kSkipped:
      return "skipped";
    case RolloutEntry::Result::kNotSent:
      return "not sent";
  }
  return "?";
}

CUpgradeRollout::CUpgradeRollout(CControl& control, IOpClock& clock, RolloutOptions options,
                                 const std::vector<DEVICE_ENTRY_T>& targets)
    : m_control(control),
      m_clock(clock),
      m_options(std::move(options)),
      m_version(ImageVersion(m_options.imageName)),
      m_following(new std::atomic<bool>[targets.size()]),
      m_sentAt(targets.size()),
      m_resends(targets.size(), CUpgradeResend(m_options.resendPace)),
      m_heard(new std::atomic<bool>[targets.size()]),
      m_acks(new std::atomic<int>[targets.size()]),
      m_refusals(targets.size()),
      m_downloads(std::make_shared<CDownloadLogWatch>(CDownloadLogWatch::DefaultLogPath(),
                                                      m_options.imageName)) {
  if (m_options.parallel < 1) m_options.parallel = 1;
  for (size_t i = 0; i < targets.size(); ++i) {
    RolloutEntry entry;
    entry.device = targets[i];
    entry.oldVersion = targets[i].firmware;
    if (entry.oldVersion == m_version) {
      entry.result = RolloutEntry::Result::kSkipped;
      entry.newVersion = entry.oldVersion;
    }
    m_entries.push_back(entry);
    // The rollout keeps its own time limit: the follower's check count never ends it.
    m_followers.push_back(
        std::make_unique<CUpgradeFollower>(control, targets[i].mac, targets[i].workMac, m_version,
                                           CUpgradeFollower::BootUpScope::kThisDevice, UINT_MAX));
    m_following[i] = false;
    m_heard[i] = false;
    m_acks[i] = 0;
    m_indexByMac.emplace(targets[i].mac, i);
  }
  send = [this](const DEVICE_ENTRY_T& device) {
    return SendUpgradeMsg(device, m_options.host, m_options.imageName);
  };
  discover = [this] { m_control.MulticastDiscoveryMsg(); };
  downloadSeen = [this](const DEVICE_ENTRY_T& device) {
    m_downloads->Poll();
    return m_downloads->Fetched(device.ip);
  };
}

CUpgradeRollout::~CUpgradeRollout() {
  m_control.RemoveNotify(this);
  RemoveDeviceAnswerListener(this);
}

int CUpgradeRollout::IndexOf(const std::string& deviceKey) const {
  for (size_t i = 0; i < m_followers.size(); ++i) {
    if (m_following[i] && m_followers[i]->IsThisDevice(deviceKey)) return static_cast<int>(i);
  }
  return -1;
}

void CUpgradeRollout::OnDeviceAck(const std::string& deviceKey, const MSG_ACK_T& ack) {
  if (!AnswersUpgradeRequest(ack)) return;
  const int index = IndexOf(deviceKey);
  if (index < 0) return;
  m_heard[index] = true;
  // Exactly "OK", as for an update: anything else is the device saying no.
  if (FieldToUtf8(ack.szResult) == "OK") {
    int none = kAckNone;
    m_acks[index].compare_exchange_strong(none, kAckOk);
    return;
  }
  // Its Info says why; without one, TakeAnswers gives our own words.
  const std::string reason = FieldToUtf8(ack.szInfo);
  {
    std::lock_guard<std::mutex> lock(m_reasonLock);
    m_refusals[index] = reason;
  }
  m_acks[index] = kAckRefused;
}

void CUpgradeRollout::OnDeviceAnswer(const DEVICE_ENTRY_T& device) {
  // One hash lookup per answer: a rollout runs while thousands of devices answer.
  const auto it = m_indexByMac.find(device.mac);
  if (it != m_indexByMac.end() && m_following[it->second]) m_heard[it->second] = true;
}

void CUpgradeRollout::TakeAnswers(size_t index) {
  CUpgradeResend& resend = m_resends[index];
  const std::chrono::milliseconds now = m_clock.Now();
  if (m_heard[index].exchange(false)) resend.Heard(now);
  const int ack = m_acks[index].load();
  if (ack == kAckOk) {
    resend.Acknowledged(now);
    m_acks[index] = kAckNone;
  } else if (ack == kAckRefused) {
    std::string reason;
    {
      std::lock_guard<std::mutex> lock(m_reasonLock);
      reason = m_refusals[index];
    }
    m_entries[index].reason = reason.empty() ? kRefusedImageReason : reason;
    LogInfo("Upgrade: %s (%s) refused the upgrade request: %s", m_entries[index].device.mac.c_str(),
            m_entries[index].device.ip.c_str(), m_entries[index].reason.c_str());
    Finish(index, UpgradeState::kFailed);
  }
}

bool CUpgradeRollout::AllOnNewVersion() const {
  return std::all_of(m_entries.begin(), m_entries.end(),
                     [](const RolloutEntry& e) { return e.OnNewVersion(); });
}

void CUpgradeRollout::OnDeviceBootUp(const std::string& deviceKey) {
  for (size_t i = 0; i < m_followers.size(); ++i) {
    if (m_following[i] && m_followers[i]->IsThisDevice(deviceKey)) {
      m_followers[i]->OnDeviceBootUp(deviceKey);
      return;
    }
  }
  m_control.RemoveDevice(deviceKey);
}

void CUpgradeRollout::Start(size_t index) {
  RolloutEntry& entry = m_entries[index];
  m_sentAt[index] = m_clock.Now();
  m_following[index] = true;
  m_resends[index].Sent(m_clock.Now());
  entry.tries = m_resends[index].Tries();
  if (!send(entry.device)) {
    m_following[index] = false;
    entry.result = RolloutEntry::Result::kNotSent;
  } else {
    entry.result = RolloutEntry::Result::kRunning;
  }
  if (progress) progress(entry);
}

void CUpgradeRollout::ResendIfNoDownload(size_t index) {
  RolloutEntry& entry = m_entries[index];
  CUpgradeResend& resend = m_resends[index];
  if (!resend.Due(m_clock.Now(), [&] { return downloadSeen && downloadSeen(entry.device); }))
    return;
  // No sign of the download: the request or its way to the device was lost. The same request
  // again is harmless to a device that did get it: it names the image, and a device fetches and
  // boots into that version once more at worst.
  resend.Sent(m_clock.Now());
  entry.tries = resend.Tries();
  LogInfo("Upgrade: no sign of the request at %s (%s), upgrade request sent again (try %d)",
          entry.device.mac.c_str(), entry.device.ip.c_str(), entry.tries);
  send(entry.device);
}

void CUpgradeRollout::Finish(size_t index, UpgradeState state) {
  RolloutEntry& entry = m_entries[index];
  m_following[index] = false;
  entry.result = state == UpgradeState::kCompleted  ? RolloutEntry::Result::kCompleted
                 : state == UpgradeState::kTimedOut ? RolloutEntry::Result::kTimedOut
                                                    : RolloutEntry::Result::kFailed;
  entry.elapsed = m_clock.Now() - m_sentAt[index];
  DEVICE_ENTRY_T now;
  entry.newVersion = m_control.FindDevice(entry.device.mac, &now) ? now.firmware : std::string();
  if (progress) progress(entry);
}

void CUpgradeRollout::Run() {
  m_control.AddNotify(this);
  AddDeviceAnswerListener(this);
  std::chrono::milliseconds lastDiscovery = m_clock.Now();
  for (;;) {
    if (m_stopStarting) {
      for (RolloutEntry& entry : m_entries) {
        if (entry.result != RolloutEntry::Result::kWaiting) continue;
        entry.result = RolloutEntry::Result::kNotSent;
        if (progress) progress(entry);
      }
    }
    size_t running = static_cast<size_t>(std::count_if(
        m_entries.begin(), m_entries.end(),
        [](const RolloutEntry& e) { return e.result == RolloutEntry::Result::kRunning; }));
    for (size_t i = 0; i < m_entries.size() && running < static_cast<size_t>(m_options.parallel);
         ++i) {
      if (m_entries[i].result != RolloutEntry::Result::kWaiting) continue;
      Start(i);
      running += m_entries[i].result == RolloutEntry::Result::kRunning;
    }
    const bool waiting = std::any_of(m_entries.begin(), m_entries.end(), [](const RolloutEntry& e) {
      return e.result == RolloutEntry::Result::kWaiting;
    });
    if (running == 0 && !waiting) break;

    m_clock.Pause(m_options.checkPeriod);
    if (m_clock.Now() - lastDiscovery >= m_options.discoveryPeriod) {
      discover();
      lastDiscovery = m_clock.Now();
    }
    for (size_t i = 0; i < m_entries.size(); ++i) {
      if (m_entries[i].result != RolloutEntry::Result::kRunning) continue;
      TakeAnswers(i);
      if (m_entries[i].Final()) continue;
      CUpgradeFollower& follower = *m_followers[i];
      const UpgradeState state = m_clock.Now() - m_sentAt[i] >= m_options.timeout
                                     ? follower.CheckLast()
                                     : follower.Check();
      if (state != UpgradeState::kInProgress) {
        Finish(i, state);
      } else if (!follower.BootUpSeen()) {
        ResendIfNoDownload(i);
      }
    }
  }
  RemoveDeviceAnswerListener(this);
  m_control.RemoveNotify(this);
}
