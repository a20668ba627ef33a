// The batch static IP dialogs with thousands of devices, shown and painting: the selection's
// once-a-second refresh from the control core's table, and the progress dialog's ticks (the
// poll tick sends a request to every unfinished row; the configure tick an update to each).
// Requests are built as for a device (encrypted) and swallowed instead of sent.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/control/control.h"
#include "core/control/control_outbound_hooks.h"
#include "ui/framework/notify_hub.h"
#include "ui/staticip/set_static_ip_detail_dlg.h"
#include "ui/staticip/set_static_ip_dlg.h"
#include "ui/staticip/set_static_ip_list_model.h"

namespace {

DEVICE_ENTRY_T Device(int i, int count) {
  char mac[32], ip[32];
  std::snprintf(mac, sizeof mac, "021A2B%06X", i);
  const int n = (i * 7919) % count;  // table order is not the IP order
  std::snprintf(ip, sizeof ip, "10.%d.%d.%d", (n >> 16) & 0xFF, (n >> 8) & 0xFF, n & 0xFF);
  return DEVICE_ENTRY_T{ip,       mac,
                        mac,      i % 3 ? "IM-700 Indoor Monitor" : "DS-210 Door Station",
                        "1-0101", "105.30.1.1"};
}

class BenchSelectDlg : public CSetStaticIPDlg {
public:
  BenchSelectDlg() : CSetStaticIPDlg(nullptr, false) {}

protected:
  void StartRefreshTimer() override {}
};

class BenchProgressDlg : public CSetStaticIPDetailDlg {
public:
  explicit BenchProgressDlg(std::vector<DEVICE_ENTRY_T> devices)
      : CSetStaticIPDetailDlg(std::move(devices), nullptr, false) {}
  void Tick(int id) { GetManager()->SendNotify(GetRoot(), QStringLiteral("timer"), id); }

protected:
  void StartTimer(int, int) override {}
  void StopTimer(int) override {}
};

struct SwallowSends {
  SwallowSends() {
    OutboundHooks hooks;
    hooks.send = [this](const PACKET_RECORD_T*) { ++sent; };
    SetOutboundHooks(hooks);
  }
  ~SwallowSends() { SetOutboundHooks({}); }
  long sent = 0;
};

void SelectionRefresh(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  CControl* control = CControl::GetInstance();
  control->ClearDevices();
  for (int i = 0; i < count; ++i) control->UpdateDevice(Device(i, count));
  BenchSelectDlg dlg;
  dlg.Create();
  dlg.show();
  QApplication::processEvents();
  int round = 0;
  for (auto _ : state) {
    state.PauseTiming();
    // A tenth of the devices changed since the last refresh.
    ++round;
    for (int i = round % 10; i < count; i += 10) {
      DEVICE_ENTRY_T d = Device(i, count);
      d.firmware = "105.30.2." + std::to_string(round);
      control->UpdateDevice(d);
    }
    state.ResumeTiming();
    dlg.RefreshDeviceList();
    QApplication::processEvents();  // layout and paint of the visible rows
  }
  state.counters["rows"] = dlg.Model()->Count();
  control->ClearDevices();
}

std::vector<DEVICE_ENTRY_T> Devices(int count) {
  std::vector<DEVICE_ENTRY_T> devices;
  for (int i = 0; i < count; ++i) devices.push_back(Device(i, count));
  return devices;
}

const std::vector<std::string> kFullReport = {
    "Config.Network.LAN.Type=0",           "Config.Status.IP=10.0.0.1",
    "Config.Status.Gateway=10.0.0.254",    "Config.Status.Netmask=255.255.0.0",
    "Config.Status.PrimaryDNS=10.0.0.253", "Config.Status.SecondaryDNS="};

// Every device has reported in full: the tick sends an update to each.
void ProgressConfigureTick(benchmark::State& state) {
  const std::vector<DEVICE_ENTRY_T> devices = Devices(static_cast<int>(state.range(0)));
  SwallowSends sends;
  const std::vector<std::string>& report = kFullReport;
  for (auto _ : state) {
    state.PauseTiming();
    auto dlg = std::make_unique<BenchProgressDlg>(devices);
    dlg->Create();
    dlg->show();
    for (const DEVICE_ENTRY_T& d : devices) dlg->OnReportConfig(d.mac, d.ip, 8500, &report);
    QApplication::processEvents();
    state.ResumeTiming();
    dlg->Tick(CBatchStaticRun::kWaitTimerId);
    QApplication::processEvents();
    state.PauseTiming();
    dlg.reset();
    state.ResumeTiming();
  }
  state.counters["sent"] = static_cast<double>(sends.sent);
}

// Every device was configured and none has turned static yet: the tick asks each for its
// addressing type.
void ProgressPollTick(benchmark::State& state) {
  const std::vector<DEVICE_ENTRY_T> devices = Devices(static_cast<int>(state.range(0)));
  SwallowSends sends;
  std::unique_ptr<BenchProgressDlg> dlg;
  int polls = 0;
  for (auto _ : state) {
    if (!dlg || polls == 15) {
      state.PauseTiming();
      dlg = std::make_unique<BenchProgressDlg>(devices);
      dlg->Create();
      dlg->show();
      for (const DEVICE_ENTRY_T& d : devices) dlg->OnReportConfig(d.mac, d.ip, 8500, &kFullReport);
      dlg->Tick(CBatchStaticRun::kWaitTimerId);
      QApplication::processEvents();
      polls = 0;
      state.ResumeTiming();
    }
    dlg->Tick(CBatchStaticRun::kPollTimerId);
    QApplication::processEvents();
    ++polls;
  }
  state.counters["sent"] = static_cast<double>(sends.sent);
}

// A second of reports after the updates: every row turns "Success" on the UI thread.
void ProgressAllSucceed(benchmark::State& state) {
  const std::vector<DEVICE_ENTRY_T> devices = Devices(static_cast<int>(state.range(0)));
  SwallowSends sends;
  const std::vector<std::string> isStatic = {"Config.Network.LAN.Type=2"};
  for (auto _ : state) {
    state.PauseTiming();
    auto dlg = std::make_unique<BenchProgressDlg>(devices);
    dlg->Create();
    dlg->show();
    QApplication::processEvents();
    for (const DEVICE_ENTRY_T& d : devices) dlg->OnReportConfig(d.mac, d.ip, 8500, &isStatic);
    state.ResumeTiming();
    QApplication::processEvents();  // the handed-over reports, the rows and the counts
    state.PauseTiming();
    if (!dlg->Run().AllFinished()) state.SkipWithError("rows did not finish");
    dlg.reset();
    state.ResumeTiming();
  }
}

BENCHMARK(SelectionRefresh)->Arg(5000)->Unit(benchmark::kMillisecond);
BENCHMARK(ProgressConfigureTick)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(ProgressPollTick)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(ProgressAllSucceed)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
