#include "core/batch/batch_static_run.h"

#include <algorithm>

#include "core/common/mac_text.h"
#include "core/common/op_clock.h"
#include "core/control/control.h"
#include "core/device/device_config_keys.h"
#include "shell/log.h"

namespace {

using Items = char16_t[kConfigItemCount][kConfigItemChars];

// The value of `key` in a report, "" when the report lacks it.
const char* ReportValue(const std::map<std::string, std::string>& report, const char* key) {
  auto it = report.find(key);
  return it == report.end() ? "" : it->second.c_str();
}

}  // namespace

const char* BatchStatusText(int status) {
  switch (status) {
    case kBatchConfiguring:
      return "Configuring";
    case kBatchSuccess:
      return "Success";
    case kBatchFailed:
      return "Failed";
    default:
      return "";
  }
}

const char* BatchFailureText(BatchFailure failure) {
  switch (failure) {
    case BatchFailure::kNoReport:
      return "no answer before configure";
    case BatchFailure::kNeverStatic:
      return "never reported static";
    case BatchFailure::kNone:
      break;
  }
  return "";
}

BatchStaticSender BatchStaticSender::Core() {
  BatchStaticSender sender;
  sender.requestConfig = [](const DEVICE_ENTRY_T& device,
                            const char16_t(*items)[kConfigItemChars]) {
    CControl::GetInstance()->SendRequestConfigMsg(&device, items);
  };
  sender.updateConfig = [](const DEVICE_ENTRY_T& device, const char16_t(*items)[kConfigItemChars]) {
    CControl::GetInstance()->SendUpdateConfigMsg(&device, items);
  };
  return sender;
}

CBatchStaticRun::CBatchStaticRun(std::vector<DEVICE_ENTRY_T> devices, BatchStaticSender sender)
    : m_finished(new std::atomic<bool>[devices.size()]),
      m_heard(new std::atomic<bool>[devices.size()]),
      m_updatePacers(devices.size(), CResendPacer(kUpdatePace)),
      m_sender(std::move(sender)) {
  m_rows.reserve(devices.size());
  m_configured.assign(devices.size(), {});
  for (size_t i = 0; i < devices.size(); ++i) {
    m_rowByMac.emplace(CompactMacText(devices[i].mac), i);  // keeps the first row of a MAC
    m_finished[i] = false;
    m_heard[i] = false;
    m_rows.push_back(BatchStaticRow{std::move(devices[i]), kBatchConfiguring, BatchFailure::kNone});
  }
  m_counts[kBatchConfiguring] = m_rows.size();
}

CBatchStaticRun::~CBatchStaticRun() = default;

void CBatchStaticRun::SetRowChanged(std::function<void(size_t)> rowChanged) {
  m_rowChanged = std::move(rowChanged);
}

void CBatchStaticRun::SetReportWake(std::function<void()> wake) { m_wake = std::move(wake); }

size_t CBatchStaticRun::CountStatus(int status) const {
  return status >= 0 && status < 4 ? m_counts[status] : 0;
}

int CBatchStaticRun::FindRow(const std::string& mac) const {
  auto it = m_rowByMac.find(CompactMacText(mac));
  return it == m_rowByMac.end() ? -1 : static_cast<int>(it->second);
}

bool CBatchStaticRun::HasReport(const std::string& deviceKey) const {
  std::lock_guard<std::mutex> lock(m_reportLock);
  return m_reports.count(deviceKey) != 0;
}

void CBatchStaticRun::Finish(size_t row, int status, BatchFailure failure) {
  BatchStaticRow& r = m_rows[row];
  if (r.Finished()) return;  // rows move once, from "Configuring" only
  --m_counts[kBatchConfiguring];
  ++m_counts[status];
  r.status = status;
  r.failure = failure;
  m_finished[row] = true;
  if (m_rowChanged) m_rowChanged(row);
}

void CBatchStaticRun::SendConfigRequest(size_t row) {
  const DEVICE_ENTRY_T& device = m_rows[row].device;
  Items items = {};
  CGlobalUtils::AddConfigItem(items, device_config::NetworkKey(device, "Type").c_str(), nullptr);
  for (const char* key : {"Config.Status.IP", "Config.Status.Gateway", "Config.Status.Netmask",
                          "Config.Status.PrimaryDNS", "Config.Status.SecondaryDNS"}) {
    CGlobalUtils::AddConfigItem(items, key, nullptr);
  }
  if (++m_rows[row].requestTries > 1) {
    LogInfo("Batch static: no full report from %s (%s), configuration request sent again (try %d)",
            device.mac.c_str(), device.ip.c_str(), m_rows[row].requestTries);
  }
  if (m_sender.requestConfig) m_sender.requestConfig(device, items);
}

void CBatchStaticRun::SendUpdate(size_t row) {
  const DEVICE_ENTRY_T& device = m_rows[row].device;
  const std::map<std::string, std::string>& values = m_configured[row];
  Items items = {};
  auto add = [&](const char* leaf, const char* value) {
    CGlobalUtils::AddConfigItemValue(items, device_config::NetworkKey(device, leaf).c_str(), value);
  };
  add("Type", "2");
  add("StaticIP", device.ip.c_str());  // the address it is listed under, not the reported one
  add("DefaultGateway", ReportValue(values, "Config.Status.Gateway"));
  add("SubnetMask", ReportValue(values, "Config.Status.Netmask"));
  add("PrimaryDNS", ReportValue(values, "Config.Status.PrimaryDNS"));
  add("SecondaryDNS", ReportValue(values, "Config.Status.SecondaryDNS"));
  if (++m_rows[row].updateTries > 1) {
    LogInfo("Batch static: %s (%s) not static yet, update sent again (try %d)", device.mac.c_str(),
            device.ip.c_str(), m_rows[row].updateTries);
  }
  m_updatePacers[row].Sent(std::chrono::milliseconds(m_pollTicks * kPollPeriodMs));
  if (m_sender.updateConfig) m_sender.updateConfig(device, items);
}

void CBatchStaticRun::Start() {
  if (m_phase != Phase::kIdle) return;
  {
    std::lock_guard<std::mutex> lock(m_reportLock);
    m_reports.clear();
  }
  m_phase = Phase::kWaiting;
  for (size_t row = 0; row < m_rows.size(); ++row) SendConfigRequest(row);
}

bool CBatchStaticRun::OnWaitTick() {
  if (m_phase != Phase::kWaiting) return false;
  ++m_waitTicks;
  if (m_waitTicks <= kMaxWaitTicks) {
    std::vector<size_t> unreported;
    {
      std::lock_guard<std::mutex> lock(m_reportLock);
      for (size_t row = 0; row < m_rows.size(); ++row) {
        if (m_reports.count(m_rows[row].device.mac) == 0) unreported.push_back(row);
      }
    }
    if (!unreported.empty()) {
      // The request or its report was lost. A configuration request changes nothing on the
      // device, so asking again is always safe.
      if (m_waitTicks % kRequestResendTicks == 0) {
        for (size_t row : unreported) SendConfigRequest(row);
      }
      return false;
    }
  }
  Configure();
  return true;
}

void CBatchStaticRun::ConfigureRow(size_t row, const std::map<std::string, std::string>& report) {
  m_configured[row] = report;
  SendUpdate(row);
}

void CBatchStaticRun::Configure() {
  std::unique_lock<std::mutex> lock(m_reportLock);
  for (size_t i = 0; i < m_rows.size(); ++i) {
    auto report = m_reports.find(m_rows[i].device.mac);
    // A device without a full report yet is asked again on every poll tick and configured as
    // soon as one comes.
    if (report != m_reports.end()) ConfigureRow(i, report->second);
  }
  lock.unlock();
  m_phase = Phase::kPolling;
}

void CBatchStaticRun::ConfigureLateReports() {
  std::lock_guard<std::mutex> lock(m_reportLock);
  for (size_t i = 0; i < m_rows.size(); ++i) {
    if (m_rows[i].Finished() || !m_configured[i].empty()) continue;
    auto report = m_reports.find(m_rows[i].device.mac);
    if (report != m_reports.end()) {
      ConfigureRow(i, report->second);
    } else {
      SendConfigRequest(i);
    }
  }
}

bool CBatchStaticRun::OnPollTick() {
  if (m_phase != Phase::kPolling) return false;
  ++m_pollTicks;
  const std::chrono::milliseconds now(m_pollTicks * kPollPeriodMs);
  if (m_pollTicks <= kPollTicks) {
    for (size_t i = 0; i < m_rows.size(); ++i) {
      if (m_heard[i].exchange(false)) m_updatePacers[i].Heard(now);
    }
    for (size_t i = 0; i < m_rows.size(); ++i) {
      const BatchStaticRow& row = m_rows[i];
      if (row.Finished() || m_configured[i].empty()) continue;
      // Not static yet: the update or its effect's report was lost. The same settings again
      // leave a device that did apply them as it is (they name the values, not a change).
      if (m_updatePacers[i].Due(now)) SendUpdate(i);
      Items items = {};
      // The LAN key whatever the interface: devices answer it for the interface they use.
      CGlobalUtils::AddConfigItem(items, "Config.Network.LAN.Type", nullptr);
      if (m_sender.requestConfig) m_sender.requestConfig(row.device, items);
    }
    ConfigureLateReports();
    return false;
  }
  for (size_t i = 0; i < m_rows.size(); ++i) {
    Finish(i, kBatchFailed,
           m_configured[i].empty() ? BatchFailure::kNoReport : BatchFailure::kNeverStatic);
  }
  m_phase = Phase::kDone;
  return true;
}

void CBatchStaticRun::OnReportConfig(const std::string& deviceKey,
                                     const std::vector<std::string>* items) {
  if (items == nullptr || items->empty() || m_stopped) return;
  // Reports of devices outside the run are neither parsed nor stored: anyone on the segment may
  // send them, as many as they like.
  const int row = FindRow(deviceKey);
  if (row < 0) return;
  m_heard[static_cast<size_t>(row)] = true;  // it still answers: its update may go again
  const std::map<std::string, std::string> values = device_config::ParseReportItems(*items);
  auto isStatic = [&values](const char* key) {
    auto it = values.find(key);
    return it != values.end() && it->second == "2";
  };
  const bool reportsStatic =
      isStatic("Config.Network.LAN.Type") || isStatic("Config.Network.WLAN.Type");

  std::lock_guard<std::mutex> lock(m_reportLock);
  if (reportsStatic) {
    if (m_finished[static_cast<size_t>(row)]) return;  // nothing is stored either
    const bool wasEmpty = m_staticRows.empty();
    m_staticRows.push_back(static_cast<size_t>(row));
    if (wasEmpty && m_wake) m_wake();
  }
  if (items->size() > kFullReportItems) m_reports[deviceKey] = values;
}

void CBatchStaticRun::ApplyReports() {
  std::vector<size_t> rows;
  {
    std::lock_guard<std::mutex> lock(m_reportLock);
    rows.swap(m_staticRows);
  }
  if (m_stopped) return;
  for (size_t row : rows) Finish(row, kBatchSuccess, BatchFailure::kNone);
}

void CBatchStaticRun::Stop() { m_stopped = true; }

void RunBatchStatic(CBatchStaticRun& run, IOpClock& clock, std::chrono::milliseconds step) {
  using std::chrono::milliseconds;
  if (run.GetPhase() == CBatchStaticRun::Phase::kIdle) run.Start();
  milliseconds nextWait = clock.Now() + milliseconds(CBatchStaticRun::kWaitPeriodMs);
  milliseconds nextPoll{0};
  while (run.GetPhase() != CBatchStaticRun::Phase::kDone) {
    const milliseconds due =
        run.GetPhase() == CBatchStaticRun::Phase::kWaiting ? nextWait : nextPoll;
    const milliseconds now = clock.Now();
    clock.Pause(std::min(step, due > now ? due - now : milliseconds(0)));
    run.ApplyReports();
    if (run.GetPhase() == CBatchStaticRun::Phase::kPolling && run.AllFinished()) break;
    if (clock.Now() < due) continue;
    if (run.GetPhase() == CBatchStaticRun::Phase::kWaiting) {
      nextWait += milliseconds(CBatchStaticRun::kWaitPeriodMs);
      if (run.OnWaitTick()) nextPoll = clock.Now() + milliseconds(CBatchStaticRun::kPollPeriodMs);
    } else {
      nextPoll += milliseconds(CBatchStaticRun::kPollPeriodMs);
      run.OnPollTick();
    }
  }
}
