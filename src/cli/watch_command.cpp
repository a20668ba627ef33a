// ipscanner-cli watch: discovers every 5 seconds until interrupted and prints one line per
// change on the site (new device, missing, back, changed address or firmware, problem found or
// gone). Ctrl-C (or SIGTERM) ends it with a summary.
#include <chrono>
#include <iostream>
#include <thread>

#include "cli/cli_commands.h"
#include "cli/cli_exit_codes.h"
#include "cli/cli_session.h"
#include "cli/cli_site.h"
#include "cli/stop_signals.h"
#include "core/control/capture_subnets.h"
#include "core/control/control.h"
#include "core/control/site_look.h"
#include "core/export/site_output.h"
#include "record/site_recorder.h"

namespace {

constexpr auto kDiscoveryInterval = std::chrono::seconds(5);
// The table is looked at as often as the window refreshes its list.
constexpr auto kLookInterval = std::chrono::seconds(1);
constexpr auto kStopPoll = std::chrono::milliseconds(100);

void PrintSummary(const SITE_WATCH_SUMMARY_T& s, bool json, std::chrono::seconds ran) {
  auto count = [&s](ESiteEvent kind) { return s.events[static_cast<size_t>(kind)]; };
  if (json) {
    std::cout << "{\"event\":\"summary\",\"seconds\":" << ran.count()
              << ",\"devices\":" << s.devices << ",\"online\":" << s.online
              << ",\"missing\":" << s.missing << ",\"with_problems\":" << s.withProblems
              << ",\"new_events\":" << count(ESiteEvent::kNew)
              << ",\"missing_events\":" << count(ESiteEvent::kMissing)
              << ",\"back_events\":" << count(ESiteEvent::kBack)
              << ",\"changed_events\":" << count(ESiteEvent::kChanged)
              << ",\"problem_events\":" << count(ESiteEvent::kProblem)
              << ",\"problem_gone_events\":" << count(ESiteEvent::kProblemGone) << "}\n";
  } else {
    std::cout << "\nWatched " << ran.count() << " s: " << s.devices << " devices, " << s.online
              << " online, " << s.missing << " missing, " << s.withProblems
              << " with problems; events: " << count(ESiteEvent::kNew) << " new, "
              << count(ESiteEvent::kMissing) << " missing, " << count(ESiteEvent::kBack)
              << " back, " << count(ESiteEvent::kChanged) << " changed, "
              << count(ESiteEvent::kProblem) << " problems found, "
              << count(ESiteEvent::kProblemGone) << " problems gone\n";
  }
  std::cout.flush();
}

}  // namespace

int RunWatch(const WatchOptions& options) {
  CatchStopSignals();
  CCliSession session;
  const int opened = session.Open(options.interfaceName);
  if (opened != kExitOk) return opened;

  CControl* control = CControl::GetInstance();
  CSiteLook site(SITE_LOOK_SOURCES_T::Of(control, CaptureSubnets()),
                 [](const std::vector<DEVICE_ENTRY_T>& table, const SiteProblemMap& problems) {
                   if (CSiteRecorder* record = CliSiteRecorder()) {
                     record->RecordProblems(table, problems);
                   }
                 });
  site.Watch();
  auto look = [&]() {
    const SITE_NOW_T& now = site.Look();
    if (now.events.empty()) return;
    const CSiteOutput output(*now.status, *now.problems, *now.subnets,
                             std::chrono::system_clock::now());
    for (const SITE_EVENT_T& event : now.events) {
      std::cout << (options.json ? output.EventJson(event) : output.EventLine(event)) << "\n";
    }
    std::cout.flush();  // a script reading the pipe sees each event when it happens
  };

  const auto start = std::chrono::steady_clock::now();
  const auto end = options.seconds > 0 ? start + std::chrono::seconds(options.seconds)
                                       : std::chrono::steady_clock::time_point::max();
  CDiscoverySchedule schedule(kDiscoveryInterval);
  auto nextLook = start + kLookInterval;
  while (!StopRequested() && std::chrono::steady_clock::now() < end) {
    const auto now = std::chrono::steady_clock::now();
    if (control->DiscoverOnSchedule(
            schedule, std::chrono::duration_cast<std::chrono::milliseconds>(now - start))) {
      look();  // the round before it is over: missing shows now
    } else if (now >= nextLook) {
      nextLook = now + kLookInterval;
      look();
    }
    std::this_thread::sleep_until(
        std::min({start + schedule.Next(), nextLook, now + kStopPoll, end}));
  }
  session.Close();
  look();  // answers that were still queued
  PrintSummary(
      site.WatchSummary(), options.json,
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start));
  return kExitOk;
}
