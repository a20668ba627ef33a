// "report": discovers the segment, reads every device's current settings, and writes the
// commissioning report of the site as a PDF (and the device table as CSV).
#include <unistd.h>

#include <chrono>
#include <iostream>
#include <thread>

#include "cli/cli_exit_codes.h"
#include "cli/cli_session.h"
#include "cli/cli_site.h"
#include "cli/site_commands_cli.h"
#include "core/batch/settings_survey.h"
#include "core/common/discovery_schedule.h"
#include "core/common/op_clock.h"
#include "core/control/capture_subnets.h"
#include "core/control/control.h"
#include "core/control/site_look.h"
#include "core/site/site_problems.h"
#include "record/site_paths.h"
#include "record/site_recorder.h"
#include "report/report_job.h"
#include "shell/global_utils.h"

namespace {

void Discover(int seconds) {
  CControl* control = CControl::GetInstance();
  const auto start = std::chrono::steady_clock::now();
  const auto end = start + std::chrono::seconds(seconds);
  CDiscoverySchedule schedule;
  while (std::chrono::steady_clock::now() < end) {
    control->DiscoverOnSchedule(schedule, std::chrono::duration_cast<std::chrono::milliseconds>(
                                              std::chrono::steady_clock::now() - start));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

}  // namespace

int RunReport(const ReportOptions& options) {
  REPORT_PLACE_T place;
  place.site = CliSiteName();
  if (!options.since.empty()) {
    place.since = ParseReportDate(options.since);
    if (place.since < 0) {
      std::cerr << "ipscanner-cli: --since takes YYYY-MM-DD or \"YYYY-MM-DD HH:MM\"\n";
      return kExitUsage;
    }
  }
  CCliSession session;
  const int opened = session.Open(options.interfaceName);
  if (opened != kExitOk) return opened;
  CControl* control = CControl::GetInstance();
  const bool terminal = isatty(STDERR_FILENO) == 1;
  if (terminal) std::cerr << "Discovering for " << options.seconds << " s...\n";
  Discover(options.seconds);
  // Problems of the table as they stand now go into the record before it is read.
  CSiteLook look(SITE_LOOK_SOURCES_T::Of(control, CaptureSubnets()),
                 [](const std::vector<DEVICE_ENTRY_T>& table, const SiteProblemMap& problems) {
                   if (CSiteRecorder* record = CliSiteRecorder()) {
                     record->RecordProblems(table, problems);
                   }
                 });
  const std::vector<DEVICE_ENTRY_T>& table = *look.Look().table;

  CSettingsSurvey survey(table);
  survey.Run(*control, SteadyOpClock(), CSettingsSurvey::kDefaultLimit,
             [terminal](size_t answered, size_t total) {
               if (terminal)
                 std::cerr << "\rReading settings: " << answered << " of " << total
                           << " devices answered" << std::flush;
             });
  if (terminal) std::cerr << "\n";
  place.adapter =
      options.interfaceName.empty() ? CGlobalUtils::ReadInterfaceSetting() : options.interfaceName;
  place.subnet = CaptureSubnetsText();
  session.Close();
  if (CSiteRecorder* record = CliSiteRecorder()) record->Flush();

  const REPORT_JOB_RESULT_T written =
      WriteCommissioningReport(SiteDatabasePath(place.site), place, table, survey.Answers(),
                               options.pdfPath, options.csvPath);
  if (!written.warning.empty()) std::cerr << "ipscanner-cli: " << written.warning << "\n";
  if (!written.written) {
    std::cerr << "ipscanner-cli: " << written.error << "\n";
    return kExitFileError;
  }
  const REPORT_T& report = written.report;
  const size_t silent = SilentDevices(report);
  std::cout << "Report of site " << report.site << " written to " << options.pdfPath << ": "
            << report.devices.size() << " devices (" << silent << " did not answer), "
            << report.problems.size() << " open problems, " << report.operations.size()
            << " operations\n";
  return kExitOk;
}
