#include <algorithm>
#include <chrono>
#include <iostream>
#include <nlohmann/json.hpp>
#include <thread>

#include "cli/cli_commands.h"
#include "cli/cli_exit_codes.h"
#include "cli/cli_session.h"
#include "core/common/device_sort.h"
#include "core/common/discovery_schedule.h"
#include "core/control/capture_control.h"
#include "core/control/capture_subnets.h"
#include "core/control/control.h"
#include "core/control/site_look.h"
#include "core/export/csv_export.h"
#include "core/export/csv_site_columns.h"
#include "core/export/device_table_output.h"
#include "core/export/site_output.h"

int RunScan(const ScanOptions& options) {
  CCliSession session;
  const int opened = session.Open(options.interfaceName);
  if (opened != kExitOk) return opened;

  // A discovery at once, repeated in the first seconds, then every 5 seconds while listening.
  CControl* control = CControl::GetInstance();
  const auto start = std::chrono::steady_clock::now();
  const auto end = start + std::chrono::seconds(options.seconds);
  CDiscoverySchedule schedule;
  // With --expect the table is looked at every 20 ms (a copy of it; cheap next to the traffic).
  const auto poll = std::chrono::milliseconds(options.expect > 0 ? 20 : 1000000);
  bool complete = false;
  auto completeAt = end;
  while (std::chrono::steady_clock::now() < end) {
    control->DiscoverOnSchedule(schedule, std::chrono::duration_cast<std::chrono::milliseconds>(
                                              std::chrono::steady_clock::now() - start));
    if (options.expect > 0 &&
        control->GetDeviceList().size() >= static_cast<size_t>(options.expect)) {
      complete = true;
      completeAt = std::chrono::steady_clock::now();
      break;
    }
    std::this_thread::sleep_until(
        std::min({end, start + schedule.Next(), std::chrono::steady_clock::now() + poll}));
  }
  const std::vector<IPV4_SUBNET_T> subnets = CaptureSubnets();  // while the capture is open
  const CaptureCounters capture = CaptureCountersNow();
  session.Close();

  CSiteLook look(SITE_LOOK_SOURCES_T::Of(control, subnets));
  const SITE_NOW_T& now = look.Look();
  std::vector<DEVICE_ENTRY_T> devices = *now.table;
  CDeviceSort::Sort(devices, 1, 0);  // IP ascending, as the list opens
  const STATUS_SNAPSHOT_T& status = *now.status;
  const SiteProblemMap& problems = *now.problems;
  const CSiteOutput site(status, problems, subnets, std::chrono::system_clock::now());
  if (options.json) {
    std::cout << CDeviceTableOutput::FormatJson(
        devices,
        [&site](const DEVICE_ENTRY_T& d, nlohmann::json& o) { site.AddDeviceFields(d, o); });
    // The summary goes beside the array, so that scripts reading the array keep working.
    const nlohmann::json summary = {{"summary",
                                     {{"devices", devices.size()},
                                      {"captured", capture.received},
                                      {"captureDrops", capture.dropped + capture.interfaceDropped},
                                      {"truncated", capture.truncated}}}};
    std::cerr << summary.dump() << "\n";
  } else {
    std::cout << CDeviceTableOutput::FormatTable(devices) << site.ProblemSummary(devices);
    std::cerr << "ipscanner-cli: " << devices.size() << " devices; the capture received "
              << capture.received << " frames and dropped "
              << capture.dropped + capture.interfaceDropped << "\n";
  }
  if (options.expect > 0) {
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(completeAt - start).count();
    if (complete) {
      std::cerr << "ipscanner-cli: all " << options.expect << " expected devices listed after "
                << ms << " ms\n";
    } else {
      std::cerr << "ipscanner-cli: only " << devices.size() << " of " << options.expect
                << " expected devices listed\n";
    }
  }
  if (!options.csvPath.empty()) {
    const std::string& path = options.csvPath;  // written exactly where the caller asked
    const std::string bytes = CCsvSiteColumns::FormatFile(
        devices, CsvHeaderTexts(), {"Status", "Problems"}, [&](const DEVICE_ENTRY_T& d) {
          const auto it = problems.find(d.mac);
          return CCsvSiteColumns::StatusAndProblems(status.LiveOf(d.mac),
                                                    it == problems.end() ? nullptr : &it->second);
        });
    if (!CCsvExport::WriteFile(path, bytes)) {
      std::cerr << "ipscanner-cli: cannot write " << path << "\n";
      return kExitFileError;
    }
  }
  return options.expect > 0 && !complete ? kExitNoAnswer : kExitOk;
}
