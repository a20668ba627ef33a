// Planning addresses for 5,000 devices against a segment table of 65,000 (a /16 nearly full):
// the range walk skips every address in use, and a plan file of 5,000 rows is parsed and
// resolved by MAC. The window replans on every edit of a planned address, so this must stay
// well under a second.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/batch/address_plan.h"
#include "core/batch/plan_file.h"

namespace {

constexpr int kTable = 65000;
constexpr int kMoved = 5000;

std::string IpText(uint32_t ip) {
  return std::to_string(ip >> 24) + "." + std::to_string((ip >> 16) & 255) + "." +
         std::to_string((ip >> 8) & 255) + "." + std::to_string(ip & 255);
}

DEVICE_ENTRY_T Device(int i, uint32_t ip) {
  char mac[18];
  std::snprintf(mac, sizeof(mac), "02:1A:%02X:%02X:%02X:%02X", (i >> 24) & 255, (i >> 16) & 255,
                (i >> 8) & 255, i & 255);
  return {IpText(ip), mac, mac, "DS-210", std::to_string(1 + i % 40) + "-" + std::to_string(i),
          "1.0"};
}

// 60,000 devices on 10.8.0.0/16 addresses 10.8.0.1 up, and the 5,000 to move on 10.9.x.x
// (another subnet, as they come from the factory); the range starts at 10.8.0.1, so the walk
// passes over all 60,000 taken addresses.
PlanInputs Inputs() {
  PlanInputs inputs;
  for (int i = 0; i < kTable - kMoved; ++i) inputs.table.push_back(Device(i, 0x0A080001 + i));
  for (int i = 0; i < kMoved; ++i) {
    inputs.devices.push_back(Device(kTable + i, 0x0A090001 + i));
    inputs.table.push_back(inputs.devices.back());
  }
  inputs.adapter = {0x0A080000 + 0xFFF0, 0xFFFF0000};
  inputs.defaults.gateway = "10.8.255.254";
  for (uint32_t i = 0; i < 500; ++i) inputs.arpAnswers[0x0A08F000 + i] = "3E1122334455";
  return inputs;
}

void BM_PlanFromRange(benchmark::State& state) {
  const PlanInputs inputs = Inputs();
  for (auto _ : state) {
    AddressPlan plan = PlanFromRange(inputs, {0x0A080001, 1, PlanOrder::kRoom});
    if (!plan.Clean()) state.SkipWithError("the plan has conflicts");
    benchmark::DoNotOptimize(plan);
  }
  state.counters["devices"] = kMoved;
  state.counters["table"] = kTable;
}
BENCHMARK(BM_PlanFromRange)->Unit(benchmark::kMillisecond);

void BM_PlanFromFile(benchmark::State& state) {
  const PlanInputs inputs = Inputs();
  // The plan moves them into 10.10.0.0/16, with its own gateway in every row.
  std::string text = "mac,ip,gateway\n";
  for (int i = 0; i < kMoved; ++i)
    text += inputs.devices[i].mac + "," + IpText(0x0A0A0001 + i) + ",10.10.255.254\n";
  for (auto _ : state) {
    const PlanFile file = ParsePlanFile(text);
    AddressPlan plan = PlanFromFile(inputs, file);
    if (!plan.Clean()) state.SkipWithError("the plan has conflicts");
    benchmark::DoNotOptimize(plan);
  }
  state.counters["devices"] = kMoved;
}
BENCHMARK(BM_PlanFromFile)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
