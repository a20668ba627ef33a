// The site-problem check over 65,536 devices that all answer on one IP address, the worst group a
// forged or misconfigured segment can build: the check must stay linear (under 100 ms, tens of MB)
// because a front end runs it every second. Counters: the memory the result holds and the
// process's peak resident size.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "core/site_problems.h"

namespace {

constexpr int kDevices = 65536;

double ResidentMb() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0;
  long resident = 0;
  statm >> pages >> resident;
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1048576.0;
}

std::vector<DEVICE_ENTRY_T> OneIpFleet() {
  std::vector<DEVICE_ENTRY_T> table;
  table.reserve(kDevices);
  char mac[13];
  for (int i = 0; i < kDevices; ++i) {
    std::snprintf(mac, sizeof(mac), "02%010X", i);
    table.push_back({"10.213.1.10", mac, mac, "DS-210 Door Station", "1-" + std::to_string(i),
                     "12.30.1.1"});
  }
  return table;
}

void BM_SiteProblemsOneIp(benchmark::State& state) {
  const std::vector<DEVICE_ENTRY_T> table = OneIpFleet();
  const std::vector<IPV4_SUBNET_T> subnets = {{0x0AD50101, 0xFFFF0000}};
  double heldMb = 0;
  for (auto _ : state) {
    const double before = ResidentMb();
    SiteProblemMap problems = CSiteProblems::Compute(table, subnets);
    heldMb = ResidentMb() - before;
    benchmark::DoNotOptimize(problems);
    if (problems.size() != static_cast<size_t>(kDevices)) state.SkipWithError("not all flagged");
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["result_MB"] = heldMb;
  state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}
BENCHMARK(BM_SiteProblemsOneIp)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
