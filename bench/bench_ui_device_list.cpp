// Refresh of the main window's device list with thousands of devices: the row model alone, and
// the model with a shown list view that lays out and paints the visible rows.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QListView>
#include <cstdio>
#include <string>
#include <vector>

#include "ui/main/device_list_model.h"
#include "ui/main/device_list_view.h"

namespace {

std::vector<DEVICE_ENTRY_T> MakeTable(int count) {
  std::vector<DEVICE_ENTRY_T> table;
  table.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    char mac[32], ip[32], room[32];
    std::snprintf(mac, sizeof mac, "02:1A:2B:%02X:%02X:%02X", (i >> 16) & 0xFF, (i >> 8) & 0xFF,
                  i & 0xFF);
    // Table order is not the IP order, so the first fill really sorts.
    int n = (i * 7919) % count;
    std::snprintf(ip, sizeof ip, "10.%d.%d.%d", (n >> 16) & 0xFF, (n >> 8) & 0xFF, (n & 0xFF));
    std::snprintf(room, sizeof room, "%d-%d-%d", 1 + i / 1000, 1 + (i / 10) % 100, i % 10);
    table.push_back(DEVICE_ENTRY_T{ip, mac, mac, i % 3 ? "Indoor Monitor" : "Door Station", room,
                                   "29.30.1." + std::to_string(i % 50)});
  }
  return table;
}

void ChangeTenPercent(std::vector<DEVICE_ENTRY_T>& table, int round) {
  for (size_t i = static_cast<size_t>(round % 10); i < table.size(); i += 10) {
    table[i].firmware = "29.30.2." + std::to_string(round);
  }
}

struct Fixture {
  explicit Fixture(bool withView) {
    if (!withView) return;
    view = new QListView;
    // The real row layout when the skin folder is next to the benchmark (build/bin).
    QWidget* rowTemplate =
        CDeviceRowPainter::LoadTemplate(QCoreApplication::applicationDirPath() + "/skin");
    binding = new CDeviceListView(view, &model, rowTemplate);
    view->resize(1000, 700);
    view->show();
    QApplication::processEvents();
  }
  ~Fixture() { delete view; }
  void Refresh(const std::vector<DEVICE_ENTRY_T>& table) {
    QString search;
    model.Refresh(table, QString(), search);
    if (view) QApplication::processEvents();  // layout and paint of the visible rows
  }
  CDeviceListModel model;
  QListView* view = nullptr;
  CDeviceListView* binding = nullptr;
};

void FirstFill(benchmark::State& state, bool withView) {
  auto table = MakeTable(static_cast<int>(state.range(0)));
  Fixture f(withView);
  for (auto _ : state) {
    state.PauseTiming();
    f.model.RemoveAll();
    if (f.view) QApplication::processEvents();
    state.ResumeTiming();
    f.Refresh(table);
  }
  state.counters["rows"] = f.model.Count();
}

void NoChange(benchmark::State& state, bool withView) {
  auto table = MakeTable(static_cast<int>(state.range(0)));
  Fixture f(withView);
  f.Refresh(table);
  for (auto _ : state) f.Refresh(table);
}

void TenPercentChanged(benchmark::State& state, bool withView) {
  auto table = MakeTable(static_cast<int>(state.range(0)));
  Fixture f(withView);
  f.Refresh(table);
  int round = 0;
  for (auto _ : state) {
    state.PauseTiming();
    ChangeTenPercent(table, ++round);
    state.ResumeTiming();
    f.Refresh(table);
  }
}

BENCHMARK_CAPTURE(FirstFill, model, false)->Arg(5000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(NoChange, model, false)->Arg(5000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(TenPercentChanged, model, false)->Arg(5000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(FirstFill, view, true)->Arg(5000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(NoChange, view, true)->Arg(5000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(TenPercentChanged, view, true)->Arg(5000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
