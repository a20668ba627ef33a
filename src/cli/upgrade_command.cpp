// "upgrade": pushes one firmware image to many devices. Serves the image from our web server
// child, discovers the devices, sends UpgradeSend to at most --parallel of them at a time and
// follows each until it shows the image's version, comes back from a reboot with another one,
// or its time runs out.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iostream>

#include "cli/cli_commands.h"
#include "cli/cli_exit_codes.h"
#include "cli/cli_session.h"
#include "cli/cli_site.h"
#include "cli/device_choice.h"
#include "cli/image_server.h"
#include "cli/upgrade_output.h"
#include "core/common/op_clock.h"
#include "core/control/control.h"
#include "core/upgrade/upgrade_compat.h"
#include "core/upgrade/upgrade_request.h"
#include "core/upgrade/upgrade_rollout.h"
#include "record/site_operation_log.h"
#include "record/site_operation_results.h"
#include "shell/global_utils.h"
#include "shell/terminal_text.h"

namespace {

// Beyond this many devices a terminal gets one summary line instead of a line per device.
constexpr size_t kLinePerDeviceLimit = 20;

// The address devices reach us at: the chosen interface's own, else the settings' rule.
std::string UpgradeHostFor(const std::string& interfaceName) {
  if (!interfaceName.empty()) {
    for (const AdapterEntry& a : CGlobalUtils::GetAdapters()) {
      if (a.szAdapterName == interfaceName && !a.ipAddresses.empty() &&
          a.ipAddresses.front() != "0.0.0.0")
        return a.ipAddresses.front();
    }
  }
  return GetUpgradeHost();
}

}  // namespace

int RunUpgrade(const UpgradeOptions& options) {
  if (options.all == !options.devices.empty()) {
    std::cerr << "ipscanner-cli: name the devices or give --all, not both\n";
    return kExitUsage;
  }
  if (!options.all && (!options.model.empty() || !options.fromVersion.empty())) {
    std::cerr << "ipscanner-cli: --model and --from-version select among --all\n";
    return kExitUsage;
  }
  const std::string imageName = std::filesystem::path(options.image).filename().string();
  const std::string version = ImageVersion(imageName);
  if (version.empty()) {
    std::cerr << "ipscanner-cli: cannot read a firmware version from the image name \"" << imageName
              << "\" (expected <version>.rom or <version>.zip)\n";
    return kExitBadInput;
  }
  std::error_code ec;
  if (!std::filesystem::is_regular_file(options.image, ec) || access(options.image.c_str(), R_OK)) {
    std::cerr << "ipscanner-cli: cannot read the image " << options.image << "\n";
    return kExitFileError;
  }

  if (!UpgradeUrlFits(UpgradeHostFor(options.interfaceName), imageName)) {
    std::cerr << "ipscanner-cli: the image's address on our web server is longer than the "
              << kMaxUpgradeUrlChars << " characters a device accepts; rename the image\n";
    return kExitBadInput;
  }

  CCliSession session;
  const int opened = session.Open(options.interfaceName);
  if (opened != kExitOk) return opened;

  CImageServer server;
  std::string error;
  if (server.Serve(options.image, &error).empty()) {
    std::cerr << "ipscanner-cli: " << error << "\n";
    return kExitFileError;
  }

  // Named devices end the discovery once all have answered; a multicast every second, so a lost
  // request or answer costs a second.
  DeviceChoice choice{options.devices, options.all, options.model, options.seconds};
  choice.discoveryInterval = std::chrono::seconds(1);
  std::vector<DEVICE_ENTRY_T> targets;
  UnchosenDevice unchosen;
  DiscoverChosen(choice, &targets, &unchosen);
  if (!unchosen.name.empty()) return ReportUnchosen(unchosen);
  if (!options.fromVersion.empty()) {
    targets.erase(
        std::remove_if(targets.begin(), targets.end(),
                       [&](const DEVICE_ENTRY_T& d) { return d.firmware != options.fromVersion; }),
        targets.end());
  }
  if (targets.empty()) {
    std::cerr << "ipscanner-cli: no device matches\n";
    return kExitDeviceNotFound;
  }

  // An image of another family can leave a device unable to start: nothing is sent to one unless
  // the installer asked for it by name; --skip-incompatible leaves them out and goes on.
  const UpgradePlan plan = PlanUpgrade(version, targets);
  auto listIncompatible = [&] {
    for (const DEVICE_ENTRY_T& d : plan.incompatible) {
      std::cerr << "  " << TerminalSafe(d.mac) << "  " << TerminalSafe(d.ip) << "  "
                << TerminalSafe(d.model.empty() ? "-" : d.model) << "  firmware "
                << (d.firmware.empty() ? std::string("unknown") : TerminalSafe(d.firmware)) << "\n";
    }
  };
  if (!plan.incompatible.empty() && options.skipIncompatible) {
    std::cerr << "ipscanner-cli: skipping " << plan.incompatible.size()
              << " device(s) that the image " << TerminalSafe(imageName) << " (family "
              << TerminalSafe(FirmwareFamily(version)) << ") does not fit:\n";
    listIncompatible();
    if (plan.Targets(false).empty()) {
      std::cerr << "ipscanner-cli: no device fits the image; nothing was sent\n";
      return kExitIncompatible;
    }
  } else if (!plan.incompatible.empty() && !options.forceIncompatible) {
    std::cerr << "ipscanner-cli: the image " << TerminalSafe(imageName) << " (family "
              << TerminalSafe(FirmwareFamily(version)) << ") does not fit "
              << plan.incompatible.size() << " device(s); nothing was sent:\n";
    listIncompatible();
    std::cerr << "ipscanner-cli: --force-incompatible upgrades them too, --skip-incompatible "
                 "upgrades the others\n";
    return kExitIncompatible;
  }
  const std::vector<DEVICE_ENTRY_T> skipped =
      options.skipIncompatible ? plan.incompatible : std::vector<DEVICE_ENTRY_T>{};
  targets = plan.Targets(!options.skipIncompatible);

  RolloutOptions rolloutOptions;
  rolloutOptions.imageName = imageName;
  rolloutOptions.host = UpgradeHostFor(options.interfaceName);
  rolloutOptions.parallel = options.parallel;
  if (options.timeoutSeconds > 0)
    rolloutOptions.timeout = std::chrono::seconds(options.timeoutSeconds);
  CUpgradeRollout rollout(*CControl::GetInstance(), SteadyOpClock(), rolloutOptions, targets);

  const bool terminal = isatty(STDOUT_FILENO) == 1;
  const bool linePerDevice = targets.size() <= kLinePerDeviceLimit;
  if (terminal) {
    std::cout << "Upgrading " << targets.size() << " devices to " << TerminalSafe(version)
              << " from " << TerminalSafe(UpgradeImageUrl(rolloutOptions.host, imageName)) << "\n";
    rollout.progress = [&](const RolloutEntry& entry) {
      if (linePerDevice) {
        std::cout << CUpgradeOutput::StatusLine(entry) << "\n";
      } else {
        std::cout << "\r\033[K" << CUpgradeOutput::SummaryLine(rollout.Entries()) << std::flush;
      }
    };
  }
  const auto started = std::chrono::steady_clock::now();
  rollout.Run();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  session.Close();
  if (terminal && !linePerDevice) std::cout << "\n";
  RecordSiteOperation(UpgradeOperation(rollout.Entries(), "cli",
                                       {{"image", imageName},
                                        {"version", version},
                                        {"parallel", std::to_string(options.parallel)}}));

  if (options.json) {
    std::cout << CUpgradeOutput::FormatJson(imageName, version, rollout.Entries(), skipped);
  } else {
    std::cout << CUpgradeOutput::FormatTable(rollout.Entries())
              << CUpgradeOutput::SkippedLines(skipped);
  }
  std::cerr << "ipscanner-cli: " << CUpgradeOutput::SummaryLine(rollout.Entries()) << " in "
            << static_cast<int>(seconds + 0.5) << " s\n";
  return rollout.AllOnNewVersion() ? kExitOk : kExitSomeFailed;
}
