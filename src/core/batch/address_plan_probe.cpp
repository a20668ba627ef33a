#include "core/batch/address_plan_probe.h"

#include <unordered_set>

#include "core/control/arp_probe.h"
#include "transport/udp_frame.h"

namespace {

constexpr int kMaxProbeRounds = 8;

}  // namespace

bool PlanRangeWithProbe(PlanInputs& inputs, const RangeRule& rule, CArpProbe& probe,
                        AddressPlan* plan) {
  std::unordered_set<uint32_t> probed;
  for (int round = 0; round < kMaxProbeRounds; ++round) {
    *plan = PlanFromRange(inputs, rule);
    std::vector<uint32_t> fresh;
    for (const PlannedDevice& d : plan->devices) {
      uint32_t ip = 0;
      if (ParseIpv4(d.ip.c_str(), &ip) && probed.insert(ip).second) fresh.push_back(ip);
    }
    if (fresh.empty()) return true;
    if (!probe.Probe(fresh)) return false;
    inputs.arpAnswers = probe.Claims();
  }
  *plan = PlanFromRange(inputs, rule);
  return true;
}

bool RecheckPlanWithProbe(PlanInputs& inputs, CArpProbe& probe, AddressPlan* plan) {
  std::vector<uint32_t> planned;
  for (const PlannedDevice& d : plan->devices) {
    uint32_t ip = 0;
    if (ParseIpv4(d.ip.c_str(), &ip)) planned.push_back(ip);
  }
  const bool finished = probe.Probe(planned);
  inputs.arpAnswers = probe.Claims();
  // Setting the first device to the address it has checks every device again.
  if (!plan->devices.empty()) ReplanAddress(inputs, plan, 0, plan->devices[0].ip);
  return finished;
}
