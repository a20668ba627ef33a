#include "cli/device_choice.h"

#include <algorithm>
#include <chrono>
#include <iostream>
#include <map>
#include <optional>
#include <thread>

#include "cli/cli_exit_codes.h"
#include "core/common/device_sort.h"
#include "core/control/control.h"
#include "core/device/device_lookup.h"
#include "shell/terminal_text.h"

namespace {

using Clock = std::chrono::steady_clock;

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

void ChooseDevices(const DeviceChoice& choice, std::vector<DEVICE_ENTRY_T>* chosen,
                   UnchosenDevice* unchosen) {
  const std::vector<DEVICE_ENTRY_T> table = CControl::GetInstance()->GetDeviceList();
  chosen->clear();
  *unchosen = {};
  if (choice.all) {
    for (const DEVICE_ENTRY_T& d : table) {
      if (choice.model.empty() || EqualsIgnoringCase(d.model, choice.model)) chosen->push_back(d);
    }
    CDeviceSort::Sort(*chosen, 1, 0);  // IP ascending, as the selection dialog opens
    return;
  }
  for (const std::string& name : choice.names) {
    const std::optional<DeviceTarget> target = ParseDeviceTarget(name);
    const DEVICE_ENTRY_T* found = target ? FindTarget(table, *target) : nullptr;
    std::vector<std::string> claimants =
        target ? IpClaimants(table, *target) : std::vector<std::string>{};
    if (found == nullptr || claimants.size() > 1) {
      unchosen->name = name;
      if (claimants.size() > 1) unchosen->ambiguous = std::move(claimants);
      return;
    }
    const DEVICE_ENTRY_T& device = *found;
    const bool twice = std::any_of(chosen->begin(), chosen->end(),
                                   [&](const DEVICE_ENTRY_T& d) { return d.mac == device.mac; });
    if (!twice) chosen->push_back(device);
  }
}

void DiscoverChosen(const DeviceChoice& choice, std::vector<DEVICE_ENTRY_T>* chosen,
                    UnchosenDevice* unchosen) {
  CControl* control = CControl::GetInstance();
  const auto end = Clock::now() + std::chrono::seconds(choice.seconds);
  const bool byIp = !choice.all &&
                    std::any_of(choice.names.begin(), choice.names.end(), [](const std::string& n) {
                      const std::optional<DeviceTarget> target = ParseDeviceTarget(n);
                      return target && !target->ip.empty();
                    });
  std::optional<Clock::time_point> settled;
  const auto start = Clock::now();
  CDiscoverySchedule schedule(choice.discoveryInterval);
  while (true) {
    control->DiscoverOnSchedule(
        schedule, std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start));
    ChooseDevices(choice, chosen, unchosen);
    // --expect counts every device that answered, whatever --model chooses among them.
    bool complete = choice.all ? choice.expect > 0 && control->GetDeviceList().size() >=
                                                          static_cast<size_t>(choice.expect)
                               : unchosen->name.empty() || !unchosen->ambiguous.empty();
    // Every name answered: a second device answering for the same address may still be on its
    // way (a duplicate address, or a forger).
    if (complete && byIp && unchosen->ambiguous.empty()) {
      if (!settled) settled = Clock::now() + kIpSettle;
      complete = Clock::now() >= *settled;
    }
    if (complete || Clock::now() >= end) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

int CheckExpected(const DeviceChoice& choice) {
  // Counted as the discovery counted them: every device that answered.
  const std::vector<DEVICE_ENTRY_T> answered = CControl::GetInstance()->GetDeviceList();
  if (!choice.all || choice.expect <= 0 || answered.size() >= static_cast<size_t>(choice.expect))
    return kExitOk;
  std::cerr << "ipscanner-cli: only " << answered.size() << " of " << choice.expect
            << " expected devices answered within " << choice.seconds << " s; nothing was sent\n";
  // What did answer, by model, so the installer sees which kind is short on the site.
  std::map<std::string, size_t> byModel;
  for (const DEVICE_ENTRY_T& d : answered) ++byModel[d.model.empty() ? "-" : d.model];
  std::string counts;
  for (const auto& [model, count] : byModel)
    counts += (counts.empty() ? "" : ", ") + std::to_string(count) + " " + TerminalSafe(model);
  std::cerr << "ipscanner-cli: found by model: " << (counts.empty() ? "none" : counts) << "\n";
  return kExitTooFew;
}

void ReportAmbiguousDevice(const std::string& name, const std::vector<std::string>& macs) {
  std::string list;
  for (const std::string& mac : macs) list += (list.empty() ? "" : ", ") + TerminalSafe(mac);
  std::cerr << "ipscanner-cli: more than one device answers for " << TerminalSafe(name) << " ("
            << list << "); name the device by its MAC\n";
}

int ReportUnchosen(const UnchosenDevice& unchosen) {
  if (!unchosen.ambiguous.empty()) {
    ReportAmbiguousDevice(unchosen.name, unchosen.ambiguous);
  } else {
    std::cerr << "ipscanner-cli: device " << TerminalSafe(unchosen.name)
              << " did not answer the discovery\n";
  }
  return kExitDeviceNotFound;
}
