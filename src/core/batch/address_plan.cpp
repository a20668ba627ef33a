#include "core/batch/address_plan.h"

#include <algorithm>
#include <cctype>
#include <unordered_set>

#include "core/common/device_sort.h"
#include "core/common/mac_text.h"
#include "transport/udp_frame.h"

namespace {

std::string IpText(uint32_t ip) {
  char text[16] = {};
  FormatIpv4(ip, text, sizeof(text));
  return text;
}

bool ToIp(const std::string& text, uint32_t* ip) { return ParseIpv4(text.c_str(), ip); }

bool IsContiguousMask(uint32_t mask) {
  const uint32_t hostBits = ~mask;
  return mask != 0 && (hostBits & (hostBits + 1)) == 0;
}

// Who has each address now: the device table's addresses and the MACs (compact) on them.
class CAddressUse {
public:
  explicit CAddressUse(const PlanInputs& inputs) : m_arp(inputs.arpAnswers) {
    m_byIp.reserve(inputs.table.size() + inputs.devices.size());
    for (const auto* list : {&inputs.table, &inputs.devices}) {
      for (const DEVICE_ENTRY_T& d : *list) {
        uint32_t ip = 0;
        if (!ToIp(d.ip, &ip)) continue;
        std::vector<std::string>& macs = m_byIp[ip];
        const std::string mac = CompactMacText(d.mac);
        // A few names are enough to tell "someone else" from "only this device".
        if (macs.size() < 3 && std::find(macs.begin(), macs.end(), mac) == macs.end())
          macs.push_back(mac);
      }
    }
  }

  // A device other than `self` on the address (its MAC as listed), or "".
  std::string OtherDevice(uint32_t ip, const DEVICE_ENTRY_T& self) const {
    const auto it = m_byIp.find(ip);
    if (it == m_byIp.end()) return "";
    const std::string mine = CompactMacText(self.mac);
    for (const std::string& mac : it->second)
      if (mac != mine) return mac;
    return "";
  }

  // The MAC of a host other than the device that answered the probe for the address, or "".
  std::string OtherHost(uint32_t ip, const DEVICE_ENTRY_T& self) const {
    const auto it = m_arp.find(ip);
    if (it == m_arp.end()) return "";
    const std::string& mac = it->second;
    if (mac == CompactMacText(self.mac) || mac == CompactMacText(self.workMac)) return "";
    return mac;
  }

private:
  std::unordered_map<uint32_t, std::vector<std::string>> m_byIp;
  const std::unordered_map<uint32_t, std::string>& m_arp;
};

std::string DefaultMask(const PlanInputs& inputs) {
  if (!inputs.defaults.mask.empty()) return inputs.defaults.mask;
  return inputs.adapter.mask != 0 ? IpText(inputs.adapter.mask) : std::string();
}

void FillSettings(const PlanInputs& inputs, PlannedDevice* planned) {
  if (planned->mask.empty()) planned->mask = DefaultMask(inputs);
  if (planned->gateway.empty()) planned->gateway = inputs.defaults.gateway;
  if (planned->dns1.empty())
    planned->dns1 = inputs.defaults.dns1.empty() ? planned->gateway : inputs.defaults.dns1;
  if (planned->dns2.empty()) planned->dns2 = inputs.defaults.dns2;
}

void Add(PlannedDevice* planned, ConflictKind kind, std::string detail = "") {
  planned->conflicts.push_back({kind, std::move(detail)});
}

// The conflicts of one device that do not depend on the other planned devices.
void CheckDevice(const PlanInputs& inputs, const CAddressUse& use, PlannedDevice* planned) {
  uint32_t ip = 0, mask = 0, gateway = 0, dns = 0;
  const bool ipOk = ToIp(planned->ip, &ip);
  const bool maskOk = ToIp(planned->mask, &mask) && IsContiguousMask(mask);
  const bool gatewayOk = ToIp(planned->gateway, &gateway);
  if (!ipOk) Add(planned, ConflictKind::kInvalidSetting, "address");
  if (!maskOk) Add(planned, ConflictKind::kInvalidSetting, "mask");
  if (!gatewayOk) Add(planned, ConflictKind::kInvalidSetting, "gateway");
  if (!ToIp(planned->dns1, &dns)) Add(planned, ConflictKind::kInvalidSetting, "dns1");
  if (!planned->dns2.empty() && !ToIp(planned->dns2, &dns))
    Add(planned, ConflictKind::kInvalidSetting, "dns2");
  if (!ipOk) return;

  if (ip == inputs.adapter.address) Add(planned, ConflictKind::kAdapterAddress);
  if (gatewayOk && ip == gateway) Add(planned, ConflictKind::kGatewayAddress);
  // A /31 or /32 has no network or broadcast address to keep free.
  if (maskOk && (~mask) > 1) {
    if (ip == (ip & mask)) Add(planned, ConflictKind::kNetworkAddress);
    if (ip == (ip | ~mask)) Add(planned, ConflictKind::kBroadcastAddress);
  }
  if (maskOk && gatewayOk && (gateway & mask) != (ip & mask))
    Add(planned, ConflictKind::kGatewayOutsideSubnet);
  if (std::string other = use.OtherDevice(ip, planned->device); !other.empty())
    Add(planned, ConflictKind::kUsedByDevice, other);
  if (std::string host = use.OtherHost(ip, planned->device); !host.empty())
    Add(planned, ConflictKind::kUsedByHost, host);
}

// Every conflict of the plan, computed afresh (the range's exhaustion marks are kept).
void CheckPlan(const PlanInputs& inputs, AddressPlan* plan) {
  const CAddressUse use(inputs);
  std::unordered_map<uint32_t, size_t> firstByIp;
  firstByIp.reserve(plan->devices.size());
  for (size_t i = 0; i < plan->devices.size(); ++i) {
    PlannedDevice& planned = plan->devices[i];
    const bool exhausted =
        std::any_of(planned.conflicts.begin(), planned.conflicts.end(),
                    [](const PlanConflict& c) { return c.kind == ConflictKind::kRangeExhausted; });
    planned.conflicts.clear();
    if (exhausted) {
      Add(&planned, ConflictKind::kRangeExhausted);
      continue;
    }
    CheckDevice(inputs, use, &planned);
    uint32_t ip = 0;
    if (!ToIp(planned.ip, &ip)) continue;
    const auto [it, first] = firstByIp.emplace(ip, i);
    if (!first) {
      PlannedDevice& other = plan->devices[it->second];
      Add(&planned, ConflictKind::kSamePlanned, other.device.mac);
      const bool named =
          std::any_of(other.conflicts.begin(), other.conflicts.end(),
                      [](const PlanConflict& c) { return c.kind == ConflictKind::kSamePlanned; });
      if (!named) Add(&other, ConflictKind::kSamePlanned, planned.device.mac);
    }
  }
}

// Digit runs compare as numbers, everything else by character ignoring case.
int CompareRooms(const std::string& a, const std::string& b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const bool da = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
    const bool db = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
    if (da && db) {
      size_t ei = i, ej = j;
      while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei]))) ++ei;
      while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej]))) ++ej;
      std::string na = a.substr(i, ei - i), nb = b.substr(j, ej - j);
      na.erase(0, std::min(na.find_first_not_of('0'), na.size()));
      nb.erase(0, std::min(nb.find_first_not_of('0'), nb.size()));
      if (na.size() != nb.size()) return na.size() < nb.size() ? -1 : 1;
      if (const int c = na.compare(nb); c != 0) return c;
      i = ei;
      j = ej;
      continue;
    }
    const int ca = std::tolower(static_cast<unsigned char>(a[i]));
    const int cb = std::tolower(static_cast<unsigned char>(b[j]));
    if (ca != cb) return ca < cb ? -1 : 1;
    ++i;
    ++j;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

}  // namespace

const char* ConflictKindText(ConflictKind kind) {
  switch (kind) {
    case ConflictKind::kUsedByDevice:
      return "address used by another device";
    case ConflictKind::kUsedByHost:
      return "address answered by another host";
    case ConflictKind::kAdapterAddress:
      return "address of this computer";
    case ConflictKind::kGatewayAddress:
      return "address of the gateway";
    case ConflictKind::kNetworkAddress:
      return "network address of the subnet";
    case ConflictKind::kBroadcastAddress:
      return "broadcast address of the subnet";
    case ConflictKind::kSamePlanned:
      return "same address planned for another device";
    case ConflictKind::kGatewayOutsideSubnet:
      return "gateway outside the planned subnet";
    case ConflictKind::kRangeExhausted:
      return "the range ran out";
    case ConflictKind::kInvalidSetting:
      return "invalid setting";
  }
  return "";
}

const char* ConflictKindCode(ConflictKind kind) {
  switch (kind) {
    case ConflictKind::kUsedByDevice:
      return "used_by_device";
    case ConflictKind::kUsedByHost:
      return "used_by_host";
    case ConflictKind::kAdapterAddress:
      return "adapter_address";
    case ConflictKind::kGatewayAddress:
      return "gateway_address";
    case ConflictKind::kNetworkAddress:
      return "network_address";
    case ConflictKind::kBroadcastAddress:
      return "broadcast_address";
    case ConflictKind::kSamePlanned:
      return "same_planned";
    case ConflictKind::kGatewayOutsideSubnet:
      return "gateway_outside_subnet";
    case ConflictKind::kRangeExhausted:
      return "range_exhausted";
    case ConflictKind::kInvalidSetting:
      return "invalid_setting";
  }
  return "";
}

std::string ConflictText(const PlanConflict& conflict) {
  std::string text = ConflictKindText(conflict.kind);
  if (!conflict.detail.empty()) text += ": " + conflict.detail;
  return text;
}

bool AddressPlan::Clean() const { return rowErrors.empty() && ConflictCount() == 0; }

size_t AddressPlan::ConflictCount() const {
  size_t count = 0;
  for (const PlannedDevice& d : devices) count += d.conflicts.size();
  return count;
}

bool ParsePlanOrder(const std::string& text, PlanOrder* order) {
  if (text == "room")
    *order = PlanOrder::kRoom;
  else if (text == "ip")
    *order = PlanOrder::kIp;
  else if (text == "mac")
    *order = PlanOrder::kMac;
  else
    return false;
  return true;
}

bool MakeRangeRule(const std::string& start, int step, const std::string& order, RangeRule* rule) {
  if (!ParseIpv4(start.c_str(), &rule->start)) return false;
  rule->step = static_cast<uint32_t>(step);
  return ParsePlanOrder(order, &rule->order);
}

void SortForPlan(std::vector<DEVICE_ENTRY_T>& devices, PlanOrder order) {
  auto byMac = [](const DEVICE_ENTRY_T& a, const DEVICE_ENTRY_T& b) {
    return CompactMacText(a.mac) < CompactMacText(b.mac);
  };
  std::stable_sort(devices.begin(), devices.end(),
                   [&](const DEVICE_ENTRY_T& a, const DEVICE_ENTRY_T& b) {
                     int c = 0;
                     if (order == PlanOrder::kRoom) {
                       c = CompareRooms(a.deviceId, b.deviceId);
                     } else if (order == PlanOrder::kIp) {
                       uint32_t ia = 0, ib = 0;
                       const bool va = ToIp(a.ip, &ia), vb = ToIp(b.ip, &ib);
                       if (va != vb) return va;  // addresses first, junk last
                       c = ia < ib ? -1 : (ia > ib ? 1 : 0);
                     }
                     return c != 0 ? c < 0 : byMac(a, b);
                   });
}

AddressPlan PlanFromRange(const PlanInputs& inputs, const RangeRule& rule) {
  AddressPlan plan;
  std::vector<DEVICE_ENTRY_T> ordered = inputs.devices;
  SortForPlan(ordered, rule.order);

  const CAddressUse use(inputs);
  uint32_t mask = 0, gateway = 0;
  ToIp(DefaultMask(inputs), &mask);
  const bool hasGateway = ToIp(inputs.defaults.gateway, &gateway);
  const uint64_t step = std::max<uint32_t>(rule.step, 1);
  // The walk stays inside the start address's subnet (the whole address space without a mask).
  const uint64_t first = rule.start & mask;
  const uint64_t last = first + static_cast<uint64_t>(~mask);
  const bool edges = (~mask) > 1;  // network and broadcast addresses to pass over
  uint64_t next = rule.start;
  std::unordered_set<uint32_t> taken;

  for (const DEVICE_ENTRY_T& device : ordered) {
    PlannedDevice planned;
    planned.device = device;
    FillSettings(inputs, &planned);
    bool found = false;
    for (; next <= last; next += step) {
      const uint32_t ip = static_cast<uint32_t>(next);
      const bool free = ip != inputs.adapter.address && !(hasGateway && ip == gateway) &&
                        !(edges && (next == first || next == last)) && !taken.count(ip) &&
                        use.OtherDevice(ip, device).empty() && use.OtherHost(ip, device).empty();
      if (!free) {
        plan.skipped.push_back(ip);
        continue;
      }
      planned.ip = IpText(ip);
      taken.insert(ip);
      next += step;
      found = true;
      break;
    }
    if (!found) Add(&planned, ConflictKind::kRangeExhausted);
    plan.devices.push_back(std::move(planned));
  }
  CheckPlan(inputs, &plan);
  return plan;
}

AddressPlan PlanFromFile(const PlanInputs& inputs, const PlanFile& file) {
  AddressPlan plan;
  plan.rowErrors = file.errors;
  std::unordered_map<std::string, size_t> byMac;
  std::unordered_map<std::string, std::vector<size_t>> byRoom;
  for (size_t i = 0; i < inputs.devices.size(); ++i) {
    const DEVICE_ENTRY_T& d = inputs.devices[i];
    byMac.emplace(CompactMacText(d.mac), i);
    byMac.emplace(CompactMacText(d.workMac), i);
    byRoom[d.deviceId].push_back(i);
  }
  std::unordered_map<size_t, int> lineOfDevice;
  for (const PlanFileRow& row : file.rows) {
    auto error = [&](const std::string& text) {
      plan.rowErrors.push_back("line " + std::to_string(row.line) + ": " + text);
    };
    size_t index = 0;
    if (!row.mac.empty()) {
      const auto it = byMac.find(row.mac);
      if (it == byMac.end()) {
        error("no device with MAC " + row.mac);
        continue;
      }
      index = it->second;
    } else {
      const auto it = byRoom.find(row.room);
      if (it == byRoom.end()) {
        error("no device with room " + row.room);
        continue;
      }
      if (it->second.size() > 1) {
        error("room " + row.room + " names " + std::to_string(it->second.size()) +
              " devices; name them by mac");
        continue;
      }
      index = it->second.front();
    }
    const auto [seen, firstRow] = lineOfDevice.emplace(index, row.line);
    if (!firstRow) {
      error("a second row for the device of line " + std::to_string(seen->second));
      continue;
    }
    PlannedDevice planned;
    planned.device = inputs.devices[index];
    planned.line = row.line;
    planned.ip = row.ip;
    planned.mask = row.mask;
    planned.gateway = row.gateway;
    planned.dns1 = row.dns1;
    planned.dns2 = row.dns2;
    FillSettings(inputs, &planned);
    plan.devices.push_back(std::move(planned));
  }
  std::sort(plan.rowErrors.begin(), plan.rowErrors.end(),
            [](const std::string& a, const std::string& b) {
              return std::stoi(a.substr(5)) < std::stoi(b.substr(5));
            });
  CheckPlan(inputs, &plan);
  return plan;
}

void ReplanAddress(const PlanInputs& inputs, AddressPlan* plan, size_t index,
                   const std::string& ip) {
  if (index >= plan->devices.size()) return;
  PlannedDevice& planned = plan->devices[index];
  planned.ip = ip;
  planned.conflicts.clear();  // an edited address is no longer a range's exhaustion
  CheckPlan(inputs, plan);
}
