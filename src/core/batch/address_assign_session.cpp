#include "core/batch/address_assign_session.h"

#include <algorithm>
#include <unordered_set>

#include "core/control/arp_probe.h"
#include "core/control/capture_subnets.h"
#include "core/control/control.h"
#include "transport/mac_proto_control.h"
#include "transport/udp_frame.h"

namespace {

// A segment full of answering hosts cannot keep the planning going.
constexpr int kMaxProbeRounds = 8;

std::vector<uint32_t> PlannedAddresses(const AddressPlan& plan) {
  std::vector<uint32_t> addresses;
  for (const PlannedDevice& d : plan.devices) {
    uint32_t ip = 0;
    if (ParseIpv4(d.ip.c_str(), &ip)) addresses.push_back(ip);
  }
  return addresses;
}

}  // namespace

AssignCapture AssignCapture::Transport() {
  AssignCapture capture;
  capture.openAdapter = []() -> std::optional<AssignAdapter> {
    for (const NET_ADAPTER_T& a : CMacProtoControl::GetInstance()->GetAdapterList()) {
      // Open by this process, or through the capture helper when it may not capture itself.
      if (a.handle == nullptr && a.relay == nullptr) continue;
      AssignAdapter adapter;
      adapter.name = a.name;
      std::copy(a.mac, a.mac + 6, adapter.mac);
      ParseIpv4(a.ip.c_str(), &adapter.subnet.address);
      for (const IPV4_SUBNET_T& s : CaptureSubnets())
        if (s.Contains(adapter.subnet.address)) adapter.subnet.mask = s.mask;
      return adapter;
    }
    return std::nullopt;
  };
  capture.sendProbe = [](const uint8_t* frame, int length, const std::string& adapter) {
    return CMacProtoControl::GetInstance()->SendArpProbe(frame, length, adapter) == 0;
  };
  capture.setTap = [](std::function<void(const uint8_t*, int)> tap) {
    CMacProtoControl::GetInstance()->SetFrameTap(std::move(tap));
  };
  return capture;
}

CAddressAssignSession::CAddressAssignSession(CControl& control, Recorder recorder,
                                             AssignCapture capture, IOpClock& clock)
    : m_control(control),
      m_recorder(std::move(recorder)),
      m_capture(std::move(capture)),
      m_clock(clock) {}

CAddressAssignSession::~CAddressAssignSession() {
  if (m_probe) m_capture.setTap(nullptr);
}

IPV4_SUBNET_T CAddressAssignSession::OpenAdapter() {
  if (m_opened) return m_subnet;
  m_opened = true;
  const std::optional<AssignAdapter> adapter = m_capture.openAdapter();
  if (!adapter) return m_subnet;
  m_subnet = adapter->subnet;
  const std::string name = adapter->name;
  const auto send = m_capture.sendProbe;
  m_probe = std::make_shared<CArpProbe>(
      adapter->mac,
      [send, name](const uint8_t* frame, int length) { return send(frame, length, name); },
      m_clock);
  const std::shared_ptr<CArpProbe> probe = m_probe;
  m_capture.setTap([probe](const uint8_t* frame, int length) { probe->OnFrame(frame, length); });
  return m_subnet;
}

void CAddressAssignSession::FillInputs(PlanInputs* inputs, std::vector<DEVICE_ENTRY_T> devices,
                                       PlanDefaults defaults) const {
  inputs->table = m_control.GetDeviceList();
  for (const DEVICE_ENTRY_T& d : devices) {
    const bool known = std::any_of(inputs->table.begin(), inputs->table.end(),
                                   [&](const DEVICE_ENTRY_T& t) { return t.mac == d.mac; });
    if (!known) inputs->table.push_back(d);
  }
  inputs->devices = std::move(devices);
  inputs->defaults = std::move(defaults);
}

bool CAddressAssignSession::PlanWithProbe(
    PlanInputs& inputs, const std::function<AddressPlan(const PlanInputs&)>& planner,
    AddressPlan* plan) {
  if (!m_probe) return false;
  std::unordered_set<uint32_t> probed;
  for (int round = 0; round < kMaxProbeRounds; ++round) {
    *plan = planner(inputs);
    if (!plan->rowErrors.empty()) return true;
    std::vector<uint32_t> fresh;
    for (uint32_t ip : PlannedAddresses(*plan))
      if (probed.insert(ip).second) fresh.push_back(ip);
    if (fresh.empty()) return true;
    if (!m_probe->Probe(fresh)) return false;
    inputs.arpAnswers = m_probe->Claims();
  }
  *plan = planner(inputs);
  return true;
}

bool CAddressAssignSession::PlanRange(PlanInputs& inputs, const RangeRule& rule,
                                      AddressPlan* plan) {
  return PlanWithProbe(
      inputs, [&rule](const PlanInputs& in) { return PlanFromRange(in, rule); }, plan);
}

bool CAddressAssignSession::PlanByFile(PlanInputs& inputs, const PlanFile& file,
                                       AddressPlan* plan) {
  return PlanWithProbe(
      inputs, [&file](const PlanInputs& in) { return PlanFromFile(in, file); }, plan);
}

bool CAddressAssignSession::Recheck(PlanInputs& inputs, AddressPlan* plan) {
  if (!m_probe) return false;
  const bool finished = m_probe->Probe(PlannedAddresses(*plan));
  inputs.arpAnswers = m_probe->Claims();
  // Setting the first device to the address it has checks every device again.
  if (!plan->devices.empty()) ReplanAddress(inputs, plan, 0, plan->devices[0].ip);
  return finished;
}

AssignOps CAddressAssignSession::Ops(const std::string& user, const std::string& password) {
  AssignOps ops = AssignOps::Core(m_control, m_clock, user, password, m_probe.get());
  // The run may outlive a look at the probe here: the closure keeps it.
  const std::shared_ptr<CArpProbe> probe = m_probe;
  ops.claimOf = [probe](uint32_t address) {
    return probe != nullptr ? probe->ClaimOf(address) : std::string();
  };
  return ops;
}

std::vector<AssignOutcome> CAddressAssignSession::Run(
    std::vector<PlannedDevice> devices, AssignOps ops, const AssignOptions& options,
    const std::map<std::string, std::string>& parameters,
    std::function<void(const AssignOutcome&)> progress) {
  CAddressAssignRun run(std::move(devices), std::move(ops), m_clock, options);
  run.progress = std::move(progress);
  run.Run();
  if (m_recorder) m_recorder(run.Outcomes(), parameters);
  return run.Outcomes();
}
