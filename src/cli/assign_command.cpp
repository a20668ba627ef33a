// "assign": gives many devices their final static addresses, from a range or a plan file. Plans
// (probing the candidate addresses by ARP), shows the preview, and, unless it is a dry run or the
// plan has conflicts, moves the devices and checks each at its new address.
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>

#include "cli/cli_commands.h"
#include "cli/cli_credentials.h"
#include "cli/cli_exit_codes.h"
#include "cli/cli_session.h"
#include "cli/device_choice.h"
#include "core/batch/address_assign_session.h"
#include "core/batch/address_record.h"
#include "core/control/capture_subnets.h"
#include "core/control/control.h"
#include "core/control/site_look.h"
#include "core/export/csv_export.h"
#include "core/site/site_problems.h"
#include "record/site_operation_log.h"
#include "record/site_operation_results.h"
#include "shell/global_utils.h"
#include "shell/terminal_text.h"

namespace {

void Fail(const std::string& text) { std::cerr << "ipscanner-cli: " << text << "\n"; }

std::string Pad(std::string text, size_t width) {
  if (text.size() < width) text.resize(width, ' ');
  return text + " ";
}

std::string ConflictsText(const PlannedDevice& planned) {
  std::string text;
  for (const PlanConflict& c : planned.conflicts)
    text += (text.empty() ? "" : "; ") + ConflictText(c);
  return text;
}

void PrintPreview(const AddressPlan& plan) {
  std::cout << Pad("MAC", 17) << Pad("ROOM", 10) << Pad("CURRENT", 15) << "   "
            << Pad("PLANNED", 15) << "CONFLICTS\n";
  for (const PlannedDevice& d : plan.devices) {
    std::cout << Pad(TerminalSafe(d.device.mac), 17) << Pad(TerminalSafe(d.device.deviceId), 10)
              << Pad(TerminalSafe(d.device.ip), 15) << "-> "
              << Pad(d.ip.empty() ? "-" : TerminalSafe(d.ip), 15) << TerminalSafe(ConflictsText(d))
              << "\n";
  }
}

std::vector<AssignOutcome> PlanOutcomes(const AddressPlan& plan) {
  std::vector<AssignOutcome> outcomes;
  for (const PlannedDevice& d : plan.devices) {
    AssignOutcome outcome;
    outcome.planned = d;
    outcome.before.ip = d.device.ip;
    outcomes.push_back(std::move(outcome));
  }
  return outcomes;
}

std::string FormatLine(const AssignOutcome& o) {
  std::string line = Pad(TerminalSafe(o.planned.device.mac), 17) +
                     Pad(TerminalSafe(o.before.ip), 15) + "-> " +
                     Pad(TerminalSafe(o.planned.ip), 15) + AssignStatusText(o.status);
  if (o.failure != AssignFailure::kNone) {
    line += std::string(" (") + AssignFailureText(o.failure) +
            (o.detail.empty() ? "" : ": " + TerminalSafe(o.detail)) + ")";
  }
  return line + "\n";
}

bool ReadFile(const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream bytes;
  bytes << in.rdbuf();
  *text = bytes.str();
  return !in.bad();
}

// FILE.csv and FILE.json beside each other (a given .csv or .json extension is replaced).
bool WriteRecord(const std::string& path, const std::vector<AssignOutcome>& outcomes) {
  std::string stem = path;
  for (const char* extension : {".csv", ".json"}) {
    const std::string ext = extension;
    if (stem.size() > ext.size() && stem.compare(stem.size() - ext.size(), ext.size(), ext) == 0)
      stem.resize(stem.size() - ext.size());
  }
  const bool csv = CCsvExport::WriteFile(stem + ".csv", address_record::FormatCsv(outcomes));
  const bool json = CCsvExport::WriteFile(stem + ".json", address_record::FormatJson(outcomes));
  if (csv && json) std::cerr << "ipscanner-cli: record written to " << stem << ".csv and .json\n";
  return csv && json;
}

int CheckOptions(const AssignOptionsCli& o) {
  const int chosen = (o.devices.empty() ? 0 : 1) + (o.all ? 1 : 0) + (o.problems ? 1 : 0);
  if (chosen != 1 && !(chosen == 0 && !o.model.empty())) {
    Fail("name the devices, or give --all, --model or --problems (one of them)");
    return kExitUsage;
  }
  if (o.from.empty() == o.plan.empty()) {
    Fail("give --from IP or --plan FILE (one of them)");
    return kExitUsage;
  }
  if (!o.from.empty() && o.gateway.empty()) {
    Fail("--from needs --gateway (the devices' gateway)");
    return kExitUsage;
  }
  PlanOrder order;
  if (!ParsePlanOrder(o.order, &order)) {
    Fail("--order is room, ip or mac");
    return kExitUsage;
  }
  if (!o.from.empty() && !CGlobalUtils::IsValidIPv4(o.from)) {
    Fail("--from must be an IPv4 address");
    return kExitBadInput;
  }
  const std::pair<const char*, const std::string*> values[] = {
      {"--mask", &o.mask}, {"--gateway", &o.gateway}, {"--dns1", &o.dns1}, {"--dns2", &o.dns2}};
  for (const auto& [name, value] : values) {
    if (!value->empty() && !CGlobalUtils::IsValidIPv4(*value)) {
      Fail(std::string(name) + " must be an IPv4 address");
      return kExitBadInput;
    }
  }
  return kExitOk;
}

// The devices with an address problem: a duplicate IP or an address outside the adapter's
// networks.
std::vector<DEVICE_ENTRY_T> ProblemDevices(const std::vector<IPV4_SUBNET_T>& subnets) {
  CSiteLook look(SITE_LOOK_SOURCES_T::Of(CControl::GetInstance(), subnets));
  const SITE_NOW_T& now = look.Look();
  const SiteProblemMap& problems = *now.problems;
  std::vector<DEVICE_ENTRY_T> chosen;
  for (const DEVICE_ENTRY_T& d : *now.table) {
    const auto it = problems.find(d.mac);
    if (it == problems.end()) continue;
    for (const SITE_PROBLEM_T& p : it->second) {
      if (p.code == EProblemCode::kDuplicateIp || p.code == EProblemCode::kOutsideSubnet) {
        chosen.push_back(d);
        break;
      }
    }
  }
  return chosen;
}

}  // namespace

int RunAssign(const AssignOptionsCli& options) {
  if (const int checked = CheckOptions(options); checked != kExitOk) return checked;
  PlanFile planFile;
  if (!options.plan.empty()) {
    std::string text;
    if (!ReadFile(options.plan, &text)) {
      Fail("cannot read the plan file " + TerminalSafe(options.plan));
      return kExitFileError;
    }
    planFile = ParsePlanFile(text);
    if (!planFile.Valid()) {
      Fail("the plan file is refused, nothing was sent:");
      for (const std::string& e : planFile.errors) std::cerr << "  " << TerminalSafe(e) << "\n";
      return kExitBadInput;
    }
  }
  std::string password;
  if (!options.dryRun) {
    if (const int read = ReadDevicePassword(options.passwordFile, &password); read != kExitOk)
      return read;
    if (options.user.empty() || password.empty()) {
      Fail("User or password can not be empty.");
      return kExitBadInput;
    }
  }

  CCliSession session;
  if (const int opened = session.Open(options.interfaceName, true); opened != kExitOk)
    return opened;
  const std::vector<IPV4_SUBNET_T> subnets = CaptureSubnets();
  // The probe asks on one adapter only: the first open one (the --interface one when given).
  CAddressAssignSession assign(*CControl::GetInstance(),
                               [](const std::vector<AssignOutcome>& outcomes,
                                  const std::map<std::string, std::string>& parameters) {
                                 RecordSiteOperation(AssignOperation(outcomes, "cli", parameters));
                               });
  PlanInputs inputs;
  inputs.adapter = assign.OpenAdapter();

  DeviceChoice choice{options.devices, options.all || options.problems || !options.model.empty(),
                      options.model, options.seconds, options.expect};
  std::vector<DEVICE_ENTRY_T> devices;
  UnchosenDevice unchosen;
  DiscoverChosen(choice, &devices, &unchosen);
  if (!unchosen.name.empty()) return ReportUnchosen(unchosen);
  if (const int expected = CheckExpected(choice); expected != kExitOk) return expected;
  if (options.problems) devices = ProblemDevices(subnets);
  if (devices.empty()) {
    Fail(options.problems ? "no device has an address problem"
                          : "no device answered the discovery");
    return options.problems ? kExitOk : kExitDeviceNotFound;
  }

  assign.FillInputs(&inputs, devices, {options.mask, options.gateway, options.dns1, options.dns2});
  AddressPlan plan;
  bool probed = true;
  if (!options.from.empty()) {
    RangeRule rule;
    MakeRangeRule(options.from, options.step, options.order, &rule);  // checked above
    probed = assign.PlanRange(inputs, rule, &plan);
  } else {
    probed = assign.PlanByFile(inputs, planFile, &plan);
  }
  if (!plan.rowErrors.empty()) {
    Fail("the plan file is refused, nothing was sent:");
    for (const std::string& e : plan.rowErrors) std::cerr << "  " << TerminalSafe(e) << "\n";
    return kExitBadInput;
  }
  if (!probed) {
    Fail("the ARP probe of the planned addresses could not finish; nothing was sent");
    return kExitNoAnswer;
  }
  if (options.json && (options.dryRun || !plan.Clean()))
    std::cout << address_record::FormatJson(PlanOutcomes(plan));
  else if (!options.json)
    PrintPreview(plan);
  for (uint32_t ip : plan.skipped)
    std::cerr << "ipscanner-cli: skipped " << CGlobalUtils::IpToText(ip)
              << " (in use or reserved)\n";
  if (!plan.Clean()) {
    Fail(std::to_string(plan.ConflictCount()) + " conflicts in the plan; nothing was sent");
    return kExitBadInput;
  }
  if (options.dryRun) {
    std::cerr << "ipscanner-cli: dry run: " << plan.devices.size()
              << " devices planned, nothing was sent\n";
    return kExitOk;
  }

  AssignOptions runOptions;
  runOptions.parallel = options.parallel;
  runOptions.verifyTime = std::chrono::seconds(options.verifySeconds);
  AssignOps ops = assign.Ops(options.user, password);
  std::fill(password.begin(), password.end(), '\0');
  const bool live = !options.json && isatty(STDOUT_FILENO);
  size_t done = 0;
  std::map<std::string, std::string> parameters{{"user", options.user},
                                                {"parallel", std::to_string(options.parallel)}};
  if (!options.plan.empty()) parameters["plan"] = options.plan;
  if (!options.from.empty()) {
    parameters["from"] = options.from;
    parameters["step"] = std::to_string(options.step);
    parameters["order"] = options.order;
  }
  std::cerr << "ipscanner-cli: assigning " << plan.devices.size() << " devices\n";
  const std::vector<AssignOutcome> outcomes =
      assign.Run(plan.devices, std::move(ops), runOptions, parameters, [&](const AssignOutcome& o) {
        ++done;
        if (live)
          std::cout << "[" << done << "/" << plan.devices.size() << "] " << FormatLine(o)
                    << std::flush;
      });
  session.Close();

  if (options.json) {
    std::cout << address_record::FormatJson(outcomes);
  } else {
    if (live) std::cout << "\n";
    for (const AssignOutcome& o : outcomes) std::cout << FormatLine(o);
  }
  bool recorded = true;
  if (!options.record.empty()) recorded = WriteRecord(options.record, outcomes);
  const size_t succeeded = static_cast<size_t>(
      std::count_if(outcomes.begin(), outcomes.end(),
                    [](const AssignOutcome& o) { return o.status == AssignStatus::kSuccess; }));
  const bool allSucceeded = succeeded == outcomes.size();
  std::cerr << "ipscanner-cli: " << succeeded << " of " << plan.devices.size()
            << " devices on their planned address\n";
  if (!recorded) {
    Fail("cannot write the record " + TerminalSafe(options.record));
    if (allSucceeded) return kExitFileError;
  }
  if (CredentialRefused(outcomes)) {
    const auto notTried = std::count_if(outcomes.begin(), outcomes.end(), [](const auto& o) {
      return o.failure == AssignFailure::kNotTried;
    });
    Fail(
        "the devices refused the user name or password and none accepted it; nothing was "
        "changed" +
        (notTried == 0 ? std::string()
                       : "; it was not tried on the other " + std::to_string(notTried) +
                             " devices, as devices may lock the account after failed logins"));
    return kExitAuthFailed;
  }
  return allSucceeded ? kExitOk : kExitSomeFailed;
}
