#include "core/batch/batch_reboot_run.h"

#include <algorithm>

#include "core/common/mac_text.h"
#include "core/common/op_clock.h"
#include "core/control/control.h"

using State = BatchRebootRow::State;

const char* BatchRebootStateName(State state) {
  switch (state) {
    case State::kWaiting:
      return "waiting";
    case State::kAuthenticating:
      return "authenticating";
    case State::kRebooting:
      return "rebooting";
    case State::kRebooted:
      return "rebooted";
    case State::kRefused:
      return "refused";
    case State::kNoAnswer:
      return "no answer";
    case State::kNotSent:
      return "not sent";
    case State::kNoBootUp:
      return "no boot-up";
    case State::kNotTried:
      return "not tried";
  }
  return "?";
}

CBatchRebootRun::CBatchRebootRun(CControl& control, CAuthenticateDispatcher& waits, IOpClock& clock,
                                 std::vector<DEVICE_ENTRY_T> devices)
    : m_control(control),
      m_clock(clock),
      m_sentAt(devices.size()),
      m_following(new std::atomic<bool>[devices.size()]),
      m_bootUp(new std::atomic<bool>[devices.size()]),
      m_leftTable(devices.size(), false) {
  for (size_t i = 0; i < devices.size(); ++i) {
    m_following[i] = false;
    m_bootUp[i] = false;
    m_rows.push_back(BatchRebootRow{std::move(devices[i]), State::kWaiting, {}});
  }
  CAuthenticateDispatcher* answers = &waits;
  IOpClock* time = &clock;
  authenticate = [answers, time](const DEVICE_ENTRY_T& device, const std::string& user,
                                 const std::string& password) {
    return device_ops::Authenticate(*answers, *time, device, user, password, "CBatchRebootRun");
  };
  reboot = [time](const DEVICE_ENTRY_T& device) {
    return device_ops::RemoteControl(*time, device, device_ops::kCommandReboot,
                                     "CBatchRebootRun") == device_ops::RemoteOutcome::kSent;
  };
  discover = [this] { m_control.MulticastDiscoveryMsg(); };
}

CBatchRebootRun::~CBatchRebootRun() { m_control.RemoveNotify(this); }

bool CBatchRebootRun::IsRow(size_t row, const std::string& deviceKey) const {
  const DEVICE_ENTRY_T& d = m_rows[row].device;
  if (deviceKey == d.mac) return true;
  const std::string key = CompactMacText(deviceKey);
  return !key.empty() && (key == CompactMacText(d.mac) || key == CompactMacText(d.workMac));
}

void CBatchRebootRun::OnDeviceBootUp(const std::string& deviceKey) {
  for (size_t i = 0; i < m_rows.size(); ++i) {
    if (!m_following[i] || !IsRow(i, deviceKey)) continue;
    m_bootUp[i] = true;
    // Out of the table until it answers again, as after an upgrade: the list then shows what
    // the device reports after its start, not what it reported before.
    m_control.RemoveDevice(m_rows[i].device.mac);
    return;
  }
}

void CBatchRebootRun::Set(size_t row, State state) {
  m_rows[row].state = state;
  if (state == State::kRebooted || state == State::kNoBootUp)
    m_rows[row].elapsed = m_clock.Now() - m_sentAt[row];
  if (changed) changed(row, m_rows[row]);
}

void CBatchRebootRun::Run(const std::string& user, std::string password) {
  m_control.AddNotify(this);
  for (size_t i = 0; i < m_rows.size(); ++i) {
    if (m_stop) {
      Set(i, State::kNotSent);
      continue;
    }
    if (m_credential.Closed()) {
      Set(i, State::kNotTried);
      continue;
    }
    Set(i, State::kAuthenticating);
    const device_ops::AuthOutcome auth = authenticate(m_rows[i].device, user, password);
    m_credential.Record(auth);
    switch (auth) {
      case device_ops::AuthOutcome::kAccepted:
        break;
      case device_ops::AuthOutcome::kRefused:
      case device_ops::AuthOutcome::kEmptyCredentials:
        Set(i, State::kRefused);
        continue;
      case device_ops::AuthOutcome::kNoAnswer:
        Set(i, State::kNoAnswer);
        continue;
      case device_ops::AuthOutcome::kNotBuilt:
        Set(i, State::kNotSent);
        continue;
    }
    m_sentAt[i] = m_clock.Now();
    m_following[i] = true;
    if (!reboot(m_rows[i].device)) {
      m_following[i] = false;
      Set(i, State::kNotSent);
      continue;
    }
    Set(i, State::kRebooting);
  }
  std::fill(password.begin(), password.end(), '\0');
  Follow();
  m_control.RemoveNotify(this);
}

void CBatchRebootRun::Follow() {
  std::chrono::milliseconds lastDiscovery = m_clock.Now();
  for (;;) {
    bool any = false;
    for (size_t i = 0; i < m_rows.size(); ++i) {
      if (m_rows[i].state != State::kRebooting) continue;
      DEVICE_ENTRY_T now;
      const bool inTable = m_control.FindDevice(m_rows[i].device.mac, &now);
      if (!inTable) m_leftTable[i] = true;
      if (m_bootUp[i] || (m_leftTable[i] && inTable)) {
        m_following[i] = false;
        Set(i, State::kRebooted);
      } else if (m_clock.Now() - m_sentAt[i] >= kBootUpWait) {
        m_following[i] = false;
        Set(i, State::kNoBootUp);
      } else {
        any = true;
      }
    }
    if (!any) return;
    m_clock.Pause(kCheckPeriod);
    if (m_clock.Now() - lastDiscovery >= kDiscoveryPeriod) {
      discover();
      lastDiscovery = m_clock.Now();
    }
  }
}
