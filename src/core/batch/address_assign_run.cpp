#include "core/batch/address_assign_run.h"

#include <algorithm>
#include <unordered_map>

#include "core/common/mac_text.h"
#include "core/common/op_clock.h"
#include "core/control/arp_probe.h"
#include "core/control/control.h"
#include "core/device/authenticate_dispatcher.h"
#include "core/device/device_config_keys.h"
#include "protocol/request_records.h"
#include "transport/udp_frame.h"

namespace {

constexpr const char* kLogName = "AddressAssign";

std::string Value(const std::map<std::string, std::string>& report, const char* key) {
  const auto it = report.find(key);
  return it == report.end() ? std::string() : it->second;
}

}  // namespace

const char* AssignStatusText(AssignStatus status) {
  switch (status) {
    case AssignStatus::kWaiting:
      return "Planned";
    case AssignStatus::kSuccess:
      return "Success";
    case AssignStatus::kFailed:
      return "Failed";
  }
  return "";
}

const char* AssignFailureText(AssignFailure failure) {
  switch (failure) {
    case AssignFailure::kNone:
      return "";
    case AssignFailure::kAuthRefused:
      return "authentication refused";
    case AssignFailure::kNoAck:
      return "no acknowledge";
    case AssignFailure::kAckNotOk:
      return "settings refused";
    case AssignFailure::kNotSeen:
      return "not seen at the new address";
    case AssignFailure::kConflict:
      return "conflict found at apply time";
    case AssignFailure::kNotTried:
      return "not tried: the credential was refused";
  }
  return "";
}

bool CredentialRefused(const std::vector<AssignOutcome>& outcomes) {
  bool refused = false;
  for (const AssignOutcome& o : outcomes) {
    switch (o.failure) {
      case AssignFailure::kAuthRefused:
        refused = refused || o.detail.empty();  // "no answer" says nothing of the credential
        break;
      case AssignFailure::kNotTried:
        refused = true;
        break;
      case AssignFailure::kConflict:
        break;  // ended before its authentication
      case AssignFailure::kNone:
        if (o.status == AssignStatus::kWaiting) break;
        return false;
      case AssignFailure::kNoAck:
      case AssignFailure::kAckNotOk:
      case AssignFailure::kNotSeen:
        return false;  // the device accepted the credential
    }
  }
  return refused;
}

AssignOps AssignOps::Core(CControl& control, IOpClock& clock, std::string user,
                          std::string password, const CArpProbe* probe,
                          std::chrono::milliseconds reportWait) {
  AssignOps ops;
  ops.readConfig = [&control, &clock, reportWait](const DEVICE_ENTRY_T& device) {
    return device_ops::ReadConfig(control, clock, device, reportWait);
  };
  ops.authenticate = [&control, &clock, user = std::move(user),
                      password = std::move(password)](const DEVICE_ENTRY_T& device) {
    CAuthenticateDispatcher waits(control);
    return device_ops::Authenticate(waits, clock, device, user, password, kLogName);
  };
  ops.update = [&control, &clock](const DEVICE_ENTRY_T& device,
                                  const device_config::NetworkSettings& settings) {
    CONFIG_MODULE_T items;
    device_config::FillUpdateItems(device, settings, &items);
    return device_ops::UpdateConfig(control, clock, device, items, kLogName);
  };
  ops.forget = [&control](const DEVICE_ENTRY_T& device) { control.RemoveDevice(device.mac); };
  ops.discover = [&control] { control.MulticastDiscoveryMsg(); };
  ops.table = [&control] { return control.GetDeviceList(); };
  ops.claimOf = [probe](uint32_t address) {
    return probe != nullptr ? probe->ClaimOf(address) : std::string();
  };
  return ops;
}

CAddressAssignRun::CAddressAssignRun(std::vector<PlannedDevice> devices, AssignOps ops,
                                     IOpClock& clock, AssignOptions options)
    : m_ops(std::move(ops)), m_clock(clock), m_options(options) {
  m_options.parallel = std::max(1, m_options.parallel);
  for (PlannedDevice& planned : devices) {
    AssignOutcome outcome;
    outcome.planned = std::move(planned);
    m_outcomes.push_back(std::move(outcome));
  }
  m_started.assign(m_outcomes.size(), std::chrono::milliseconds(0));
}

size_t CAddressAssignRun::Count(AssignStatus status) const {
  return static_cast<size_t>(
      std::count_if(m_outcomes.begin(), m_outcomes.end(),
                    [&](const AssignOutcome& o) { return o.status == status; }));
}

void CAddressAssignRun::Finish(size_t index, AssignStatus status, AssignFailure failure,
                               std::string detail) {
  AssignOutcome& outcome = m_outcomes[index];
  outcome.status = status;
  outcome.failure = failure;
  outcome.detail = std::move(detail);
  outcome.elapsed = m_clock.Now() - m_started[index];
  if (progress) progress(outcome);
}

bool CAddressAssignRun::Start(size_t index) {
  m_started[index] = m_clock.Now();
  AssignOutcome& outcome = m_outcomes[index];
  const DEVICE_ENTRY_T device = outcome.planned.device;
  outcome.before.ip = device.ip;
  if (const auto report = m_ops.readConfig(device)) {
    outcome.before.read = true;
    outcome.before.type = device_config::ReportedType(*report);
    const std::string reportedIp = Value(*report, device_config::kStatusIp);
    if (!reportedIp.empty()) outcome.before.ip = reportedIp;
    outcome.before.mask = Value(*report, device_config::kStatusNetmask);
    outcome.before.gateway = Value(*report, device_config::kStatusGateway);
    outcome.before.dns1 = Value(*report, device_config::kStatusPrimaryDns);
    outcome.before.dns2 = Value(*report, device_config::kStatusSecondaryDns);
  }

  const PlannedDevice& planned = outcome.planned;
  uint32_t address = 0;
  ParseIpv4(planned.ip.c_str(), &address);
  const std::string claimant = m_ops.claimOf(address);
  if (!claimant.empty() && claimant != CompactMacText(device.mac) &&
      claimant != CompactMacText(device.workMac)) {
    Finish(index, AssignStatus::kFailed, AssignFailure::kConflict, claimant);
    return false;
  }

  const device_ops::AuthOutcome auth = m_ops.authenticate(device);
  m_credential.Record(auth);
  if (auth != device_ops::AuthOutcome::kAccepted) {
    Finish(index, AssignStatus::kFailed, AssignFailure::kAuthRefused,
           auth == device_ops::AuthOutcome::kNoAnswer ? "no answer" : "");
    return false;
  }
  const device_config::NetworkSettings settings{false,        planned.ip,   planned.gateway,
                                                planned.mask, planned.dns1, planned.dns2};
  const device_ops::UpdateResult update = m_ops.update(device, settings);
  switch (update.outcome) {
    case device_ops::UpdateOutcome::kSucceeded:
      // Out of the table, so that only an answer after the change can bring it back.
      m_ops.forget(device);
      return true;
    case device_ops::UpdateOutcome::kAckNotOk:
      Finish(index, AssignStatus::kFailed, AssignFailure::kAckNotOk,
             update.result + (update.info.empty() ? "" : ": " + update.info));
      return false;
    case device_ops::UpdateOutcome::kNoAck:
      Finish(index, AssignStatus::kFailed, AssignFailure::kNoAck);
      return false;
    case device_ops::UpdateOutcome::kNotBuilt:
      break;
  }
  Finish(index, AssignStatus::kFailed, AssignFailure::kNoAck, "the request could not be built");
  return false;
}

void CAddressAssignRun::Run() {
  struct Verifying {
    size_t index;
    std::chrono::milliseconds deadline;
  };
  std::vector<Verifying> verifying;
  size_t next = 0;
  std::chrono::milliseconds nextDiscovery = m_clock.Now();
  while (next < m_outcomes.size() || !verifying.empty()) {
    while (verifying.size() < static_cast<size_t>(m_options.parallel) && next < m_outcomes.size()) {
      const size_t index = next++;
      if (m_credential.Closed()) {
        m_started[index] = m_clock.Now();
        Finish(index, AssignStatus::kFailed, AssignFailure::kNotTried);
        continue;
      }
      if (Start(index)) {
        verifying.push_back({index, m_clock.Now() + m_options.verifyTime});
        // A moved device answers as soon as it has its new address: ask again soon.
        nextDiscovery = std::min(nextDiscovery, m_clock.Now() + m_options.checkPeriod);
      }
    }
    if (verifying.empty()) continue;
    if (m_clock.Now() >= nextDiscovery) {
      m_ops.discover();
      nextDiscovery = m_clock.Now() + m_options.discoveryPeriod;
    }
    m_clock.Pause(m_options.checkPeriod);
    const std::vector<DEVICE_ENTRY_T> table = m_ops.table();
    std::unordered_map<std::string, const DEVICE_ENTRY_T*> byMac;
    for (const DEVICE_ENTRY_T& d : table) byMac.emplace(CompactMacText(d.mac), &d);
    const auto now = m_clock.Now();
    for (auto it = verifying.begin(); it != verifying.end();) {
      const PlannedDevice& planned = m_outcomes[it->index].planned;
      const auto found = byMac.find(CompactMacText(planned.device.mac));
      if (found != byMac.end() && found->second->ip == planned.ip) {
        Finish(it->index, AssignStatus::kSuccess, AssignFailure::kNone);
      } else if (now >= it->deadline) {
        Finish(it->index, AssignStatus::kFailed, AssignFailure::kNotSeen,
               found == byMac.end() ? "" : "seen at " + found->second->ip);
      } else {
        ++it;
        continue;
      }
      it = verifying.erase(it);
    }
  }
}
