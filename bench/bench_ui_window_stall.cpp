// How long the main window's UI thread is away at a /16: the real main window over the real
// control core's device table, fed like a segment of N devices (65,000 by default) answering
// every discovery, with the window's own once-a-second refresh and five-second discovery. A
// 1 ms precise timer on the UI thread notes every tick; a gap between two ticks minus the
// period is a stall; the UI thread's CPU time between two ticks is the part that was its own
// work (the rest, on a machine busy with other work, is waiting for a processor). Printed: the
// longest stall, both ways, while the list fills and in the steady state, and how many passed
// 16 ms; then, with the probe stopped, the CPU time of the window's threads (the process less
// the simulated answers) and of the UI thread alone, as shares of one core. Its own timing (not
// Google Benchmark): the figures are the event loop's, not a loop's.
//
//   bench_ui_window_stall [devices, default 65000] [steady seconds, default 20]
// With IPS_BENCH_TRACE set, every stall of its own work over 16 ms is printed when it happens.
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "core/control/control.h"
#include "core/control/control_outbound_hooks.h"
#include "ui/main/device_list_model.h"
#include "ui/main/main_wnd.h"

namespace {

constexpr qint64 kStallLimitNs = 16'000'000;

DEVICE_ENTRY_T Device(int i, int count) {
  char mac[32], ip[32], room[32];
  std::snprintf(mac, sizeof mac, "02:1A:2B:%02X:%02X:%02X", (i >> 16) & 0xFF, (i >> 8) & 0xFF,
                i & 0xFF);
  const int n = (i * 7919) % count;  // answers do not come in IP order
  std::snprintf(ip, sizeof ip, "10.%d.%d.%d", 100 + ((n >> 16) & 0xFF), (n >> 8) & 0xFF, n & 0xFF);
  std::snprintf(room, sizeof room, "%d-%d-%d", 1 + i / 1000, 1 + (i / 10) % 100, i % 10);
  // A few devices report no model: the site has problems to show and count.
  const std::string model = i % 997 == 0 ? "" : (i % 3 ? "Indoor Monitor" : "Door Station");
  return DEVICE_ENTRY_T{ip, mac, mac, model, room, "29.30.1." + std::to_string(i % 50)};
}

double ProcessCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double ThreadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// The UI thread's lateness: the gaps between the ticks of a 1 ms timer.
class CStallProbe {
public:
  CStallProbe() {
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(1);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { Tick(); });
  }
  void Start() {
    m_clock.start();
    Reset();
    m_timer.start();
  }
  void Stop() { m_timer.stop(); }
  // Starts a new phase: the figures below are since then.
  void Reset() {
    m_longest = 0;
    m_over = 0;
    m_longestBusy = 0;
    m_busyOver = 0;
    m_last = m_clock.nsecsElapsed();
    m_lastCpu = ThreadCpuNs();
  }
  qint64 LongestNs() const { return m_longest; }
  int Over() const { return m_over; }
  // The same, counting only the UI thread's own CPU time between two ticks: on a machine busy
  // with other work a gap also holds the time the thread waited for a processor.
  qint64 LongestBusyNs() const { return m_longestBusy; }
  int BusyOver() const { return m_busyOver; }

private:
  void Tick() {
    const qint64 now = m_clock.nsecsElapsed();
    const qint64 stall = now - m_last - 1'000'000;
    m_last = now;
    m_longest = std::max(m_longest, stall);
    if (stall > kStallLimitNs) ++m_over;
    const qint64 cpu = ThreadCpuNs();
    const qint64 busy = cpu - m_lastCpu;
    m_lastCpu = cpu;
    m_longestBusy = std::max(m_longestBusy, busy);
    if (busy > kStallLimitNs) {
      ++m_busyOver;
      if (m_trace) {
        std::fprintf(stderr, "stall of its own work at %lld ms: %lld ms\n",
                     static_cast<long long>(now / 1000000), static_cast<long long>(busy / 1000000));
      }
    }
  }
  static qint64 ThreadCpuNs() { return static_cast<qint64>(ThreadCpuSeconds() * 1e9); }
  const bool m_trace = std::getenv("IPS_BENCH_TRACE") != nullptr;
  QTimer m_timer;
  QElapsedTimer m_clock;
  qint64 m_last = 0;
  qint64 m_longest = 0;
  int m_over = 0;
  qint64 m_lastCpu = 0;
  qint64 m_longestBusy = 0;
  int m_busyOver = 0;
};

// The segment: on every discovery the window sends, every device answers within about a
// second, in batches, on a thread of its own (as the control core's worker records answers).
class CSegment {
public:
  explicit CSegment(int count) {
    for (int i = 0; i < count; ++i) m_devices.push_back(Device(i, count));
  }
  ~CSegment() {
    if (m_thread.joinable()) m_thread.join();
  }
  void OnDiscovery() {
    if (m_busy.exchange(true)) return;  // the last round is still answering
    if (m_thread.joinable()) m_thread.join();
    m_thread = std::thread([this] {
      const double cpu0 = ThreadCpuSeconds();
      CControl* control = CControl::GetInstance();
      constexpr size_t kBatch = 2000;
      for (size_t at = 0; at < m_devices.size(); at += kBatch) {
        for (size_t i = at; i < std::min(m_devices.size(), at + kBatch); ++i) {
          control->UpdateDevice(m_devices[i]);
          control->DeviceStatus().OnAnswer(m_devices[i].mac);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
      m_cpuNs += static_cast<long long>((ThreadCpuSeconds() - cpu0) * 1e9);
      m_busy = false;
    });
  }

  // CPU time the answering has taken so far (not the window's).
  double CpuSeconds() const { return static_cast<double>(m_cpuNs.load()) / 1e9; }

private:
  std::vector<DEVICE_ENTRY_T> m_devices;
  std::atomic<long long> m_cpuNs{0};
  std::thread m_thread;
  std::atomic<bool> m_busy{false};
};

// Runs the event loop (sleeping when there is nothing to do, as the program's does) for at most
// `ms`, or until `done` holds; it is asked every 50 ms.
void RunEventLoop(int ms, const std::function<bool()>& done) {
  QEventLoop loop;
  QTimer check;
  QObject::connect(&check, &QTimer::timeout, [&] {
    if (done()) loop.quit();
  });
  check.start(50);
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int devices = argc > 1 ? std::atoi(argv[1]) : 65000;
  const int steadySeconds = argc > 2 ? std::atoi(argv[2]) : 20;
  if (devices <= 0 || steadySeconds <= 0) {
    std::fprintf(stderr, "usage: bench_ui_window_stall [devices] [steady seconds]\n");
    return 2;
  }

  CSegment segment(devices);
  CMainWnd::SetStartupHook([](CMainWnd*) {});  // no capture: the segment above answers
  OutboundHooks hooks;
  hooks.send = [&segment](const PACKET_RECORD_T*) { segment.OnDiscovery(); };
  SetOutboundHooks(hooks);
  CControl::GetInstance()->ClearDevices();

  CStallProbe probe;
  int exitCode = 0;
  {
    CMainWnd wnd;
    if (!wnd.Create()) {
      std::fprintf(stderr, "bench_ui_window_stall: the main window's layout did not load\n");
      return 1;
    }
    wnd.resize(1366, 768);
    wnd.show();
    QApplication::processEvents();
    CDeviceListModel* model = wnd.GetDeviceListModel();

    QElapsedTimer phase;
    phase.start();
    probe.Start();
    // Filling: until every device is a row (at most a minute).
    RunEventLoop(60000, [&] { return model->Count() >= devices; });
    const qint64 fillMs = phase.elapsed();
    const qint64 fillStall = probe.LongestNs();
    const int fillOver = probe.Over();
    const qint64 fillBusy = probe.LongestBusyNs();
    const int fillBusyOver = probe.BusyOver();
    if (model->Count() < devices) {
      std::fprintf(stderr, "bench_ui_window_stall: %d of %d rows after a minute\n", model->Count(),
                   devices);
      exitCode = 1;
    }

    // Steady: the list is full, refreshes and discoveries go on. First the stalls, then the
    // CPU time without the probe (whose own wake-ups would count).
    probe.Reset();
    phase.restart();
    RunEventLoop(steadySeconds * 1000, [] { return false; });
    probe.Stop();
    phase.restart();
    const double ui0 = ThreadCpuSeconds();
    const double process0 = ProcessCpuSeconds();
    const double segment0 = segment.CpuSeconds();
    RunEventLoop(steadySeconds * 1000, [] { return false; });
    const double wall = static_cast<double>(phase.elapsed()) / 1000.0;
    const double uiShare = (ThreadCpuSeconds() - ui0) * 100.0 / wall;
    // The window's threads: the process less the simulated answers (a round in progress at the
    // end counts later, so this errs towards the window's disfavour).
    const double windowShare =
        (ProcessCpuSeconds() - process0 - (segment.CpuSeconds() - segment0)) * 100.0 / wall;

    std::printf("devices %d: list filled in %lld ms\n", devices, static_cast<long long>(fillMs));
    auto line = [](const char* phase, qint64 wallNs, int wallOver, qint64 busyNs, int busyOver) {
      std::printf(
          "  %s: longest UI-thread stall %.1f ms (%d over 16 ms); of its own work %.1f ms (%d over "
          "16 ms)\n",
          phase, static_cast<double>(wallNs) / 1e6, wallOver, static_cast<double>(busyNs) / 1e6,
          busyOver);
    };
    line("filling", fillStall, fillOver, fillBusy, fillBusyOver);
    line("steady", probe.LongestNs(), probe.Over(), probe.LongestBusyNs(), probe.BusyOver());
    std::printf(
        "  steady %.0f s without the probe: the window's threads used %.1f %% of one core, the UI "
        "thread %.1f %%\n",
        wall, windowShare, uiShare);
  }
  SetOutboundHooks({});
  CMainWnd::SetStartupHook({});
  return exitCode;
}
