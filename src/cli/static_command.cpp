// "static": turns devices from DHCP to static addresses that keep their present settings, the
// batch the static IP dialogs run, on the command line. Discovers first, then runs the batch
// (CBatchStaticRun) on the steady clock and prints the result.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>

#include "cli/cli_commands.h"
#include "cli/cli_exit_codes.h"
#include "cli/cli_session.h"
#include "cli/cli_site.h"
#include "cli/device_choice.h"
#include "cli/static_result_output.h"
#include "core/batch/batch_static_run.h"
#include "core/common/op_clock.h"
#include "core/control/control.h"
#include "record/site_operation_log.h"
#include "record/site_operation_results.h"
#include "shell/terminal_text.h"

namespace {

using Clock = std::chrono::steady_clock;

// Hands the core's configuration reports to the run (on the worker thread).
class CReportForwarder : public CControlBaseNotify {
public:
  explicit CReportForwarder(CBatchStaticRun& run) : m_run(run) {}
  void OnReportConfig(std::string deviceKey, std::string, int,
                      const std::vector<std::string>* items) override {
    m_run.OnReportConfig(deviceKey, items);
  }

private:
  CBatchStaticRun& m_run;
};

}  // namespace

int RunStatic(const StaticOptions& options) {
  if (options.all == !options.devices.empty()) {
    std::cerr << "ipscanner-cli: name the devices or give --all, not both\n";
    return kExitUsage;
  }
  if (!options.model.empty() && !options.all) {
    std::cerr << "ipscanner-cli: --model goes with --all\n";
    return kExitUsage;
  }
  CCliSession session;
  const int opened = session.Open(options.interfaceName);
  if (opened != kExitOk) return opened;

  std::vector<DEVICE_ENTRY_T> devices;
  UnchosenDevice unchosen;
  DiscoverChosen({options.devices, options.all, options.model, options.seconds, options.expect},
                 &devices, &unchosen);
  if (!unchosen.name.empty()) return ReportUnchosen(unchosen);
  const int expected =
      CheckExpected({options.devices, options.all, options.model, options.seconds, options.expect});
  if (expected != kExitOk) return expected;
  if (devices.empty()) {
    std::cerr << "ipscanner-cli: no device " << (options.model.empty() ? "" : "of that model ")
              << "answered the discovery\n";
    return kExitDeviceNotFound;
  }

  const bool live = !options.json && isatty(STDOUT_FILENO);
  CBatchStaticRun run(devices);
  run.SetRowChanged([&run, live](size_t row) {
    if (live) std::cout << CStaticResultOutput::FormatLine(run.Rows()[row]) << std::flush;
  });
  CReportForwarder forwarder(run);
  CControl* control = CControl::GetInstance();
  control->AddNotify(&forwarder);
  std::cerr << "ipscanner-cli: configuring " << devices.size() << " devices\n";
  const auto start = Clock::now();
  RunBatchStatic(run, SteadyOpClock());
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  run.Stop();
  control->RemoveNotify(&forwarder);
  session.Close();

  const size_t succeeded = run.CountStatus(kBatchSuccess);
  std::map<std::string, std::string> parameters;
  if (options.all) parameters = {{"all", "yes"}, {"model", options.model}};
  RecordSiteOperation(StaticOperation(run.Rows(), "cli", std::move(parameters)));
  if (options.json) {
    std::cout << CStaticResultOutput::FormatJson(run.Rows());
  } else {
    if (live) std::cout << "\n";
    std::cout << CStaticResultOutput::FormatTable(run.Rows());
  }
  std::cerr << "ipscanner-cli: " << succeeded << " of " << devices.size()
            << " devices static after " << ms << " ms\n";
  return succeeded == devices.size() ? kExitOk : kExitSomeFailed;
}
