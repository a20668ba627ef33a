#include "core/site/site_problems.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <unordered_set>
#include <utility>

#include "core/common/device_sort.h"
#include "core/common/mac_text.h"
#include "shell/global_utils.h"

namespace {

// A tooltip or a summary names this many other devices and counts the rest.
constexpr size_t kNamedOthers = 5;

std::string Upper(const std::string& text) {
  std::string out = text;
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::string Translate(const TextTranslator& tr, const std::string& key) {
  return tr ? tr(key) : key;
}

// Replaces %1 to %9 in one pass: a text put in is never read again, so an argument that itself
// holds "%1" stays as it is.
std::string Fill(const std::string& text, const std::vector<std::string>& args) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
      const size_t n = static_cast<size_t>(text[i + 1] - '1');
      if (n < args.size()) {
        out += args[n];
        ++i;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

std::string OthersText(const SITE_PROBLEM_T& problem, const TextTranslator& tr) {
  const std::vector<std::string>& others = problem.others;
  const size_t total = std::max(problem.otherCount, others.size());
  std::string text;
  const size_t named = std::min(others.size(), kNamedOthers);
  for (size_t i = 0; i < named; ++i) {
    if (i > 0) text += ", ";
    text += others[i];
  }
  if (total > named) {
    text += " " + Fill(Translate(tr, "and %1 more"), {std::to_string(total - named)});
  }
  return text;
}

// Groups devices by a key; every group of two or more distinct MACs marks each member with the
// others of its group: their count and the first few of them. MACs differing only in case are
// one device, as the list shows them.
template <class Groups>
void FlagGroups(const std::vector<DEVICE_ENTRY_T>& table, const Groups& groups, EProblemCode code,
                const std::string DEVICE_ENTRY_T::*valueField, SiteProblemMap& out) {
  for (const auto& [key, members] : groups) {
    if (members.size() < 2) continue;
    std::vector<size_t> distinct;
    std::unordered_set<std::string> seen;
    seen.reserve(members.size());
    for (size_t pos : members) {
      if (seen.insert(CompactMacText(table[pos].mac)).second) distinct.push_back(pos);
    }
    if (distinct.size() < 2) continue;
    // Whoever a member is, the first kNamedOthers + 1 of the group hold its named others.
    const size_t heads = std::min(distinct.size(), kNamedOthers + 1);
    for (size_t pos : distinct) {
      SITE_PROBLEM_T problem;
      problem.code = code;
      problem.value = table[pos].*valueField;
      problem.otherCount = distinct.size() - 1;
      problem.others.reserve(heads - 1);
      for (size_t h = 0; h < heads && problem.others.size() < kNamedOthers; ++h) {
        if (distinct[h] != pos) problem.others.push_back(table[distinct[h]].mac);
      }
      out[table[pos].mac].push_back(std::move(problem));
    }
  }
}

}  // namespace

SiteProblemMap CSiteProblems::Compute(const std::vector<DEVICE_ENTRY_T>& table,
                                      const std::vector<IPV4_SUBNET_T>& subnets) {
  SiteProblemMap out;
  std::unordered_map<uint32_t, std::vector<size_t>> byIp;  // 10.0.0.1 and 010.0.0.1 are one
  std::unordered_map<std::string, std::vector<size_t>> byRoom;
  std::unordered_map<std::string, std::string> kindOfModel;  // a site has a handful of models
  out.reserve(table.size());
  byIp.reserve(table.size());
  byRoom.reserve(table.size());
  for (size_t pos = 0; pos < table.size(); ++pos) {
    const DEVICE_ENTRY_T& d = table[pos];
    if (d.mac.empty()) continue;
    uint32_t ip = 0;
    if (CDeviceSort::ParseIPv4(d.ip, &ip)) byIp[ip].push_back(pos);
    if (d.deviceId.empty()) continue;
    auto kind = kindOfModel.find(d.model);
    if (kind == kindOfModel.end()) kind = kindOfModel.emplace(d.model, DeviceKind(d.model)).first;
    // The kind and the room number, joined by a byte that neither holds.
    byRoom[kind->second + '\n' + d.deviceId].push_back(pos);
  }
  FlagGroups(table, byIp, EProblemCode::kDuplicateIp, &DEVICE_ENTRY_T::ip, out);
  FlagGroups(table, byRoom, EProblemCode::kDuplicateRoom, &DEVICE_ENTRY_T::deviceId, out);

  for (const DEVICE_ENTRY_T& d : table) {
    if (d.mac.empty()) continue;
    uint32_t ip = 0;
    if (!subnets.empty() && CDeviceSort::ParseIPv4(d.ip, &ip) &&
        std::none_of(subnets.begin(), subnets.end(),
                     [ip](const IPV4_SUBNET_T& s) { return s.Contains(ip); })) {
      out[d.mac].push_back({EProblemCode::kOutsideSubnet, d.ip, {}});
    }
    // The table already holds the catalog's name when the device sends none.
    if (d.model.empty()) out[d.mac].push_back({EProblemCode::kUnknownModel, d.firmware, {}});
  }
  // One order whatever the hash maps did: the order of the codes.
  for (auto& [mac, problems] : out) {
    if (problems.size() < 2) continue;
    std::stable_sort(
        problems.begin(), problems.end(),
        [](const SITE_PROBLEM_T& a, const SITE_PROBLEM_T& b) { return a.code < b.code; });
  }
  return out;
}

const char* CSiteProblems::Code(EProblemCode code) {
  switch (code) {
    case EProblemCode::kDuplicateIp:
      return "duplicate_ip";
    case EProblemCode::kDuplicateRoom:
      return "duplicate_room";
    case EProblemCode::kOutsideSubnet:
      return "outside_subnet";
    case EProblemCode::kUnknownModel:
    default:
      return "unknown_model";
  }
}

std::string CSiteProblems::ShortText(EProblemCode code, const TextTranslator& tr) {
  switch (code) {
    case EProblemCode::kDuplicateIp:
      return Translate(tr, "Duplicate IP");
    case EProblemCode::kDuplicateRoom:
      return Translate(tr, "Duplicate room number");
    case EProblemCode::kOutsideSubnet:
      return Translate(tr, "Outside the subnet");
    case EProblemCode::kUnknownModel:
    default:
      return Translate(tr, "Unknown model");
  }
}

std::string CSiteProblems::Explanation(const SITE_PROBLEM_T& problem,
                                       const std::vector<IPV4_SUBNET_T>& subnets,
                                       const TextTranslator& tr) {
  switch (problem.code) {
    case EProblemCode::kDuplicateIp:
      return Fill(Translate(tr,
                            "%1 is also used by %2. Only one of them can be reached at this "
                            "address: give each device its own IP address."),
                  {problem.value, OthersText(problem, tr)});
    case EProblemCode::kDuplicateRoom:
      return Fill(Translate(tr,
                            "Room number %1 is also set on %2 of the same kind. Calls for "
                            "this room reach the wrong unit: give each unit its own room "
                            "number."),
                  {problem.value, OthersText(problem, tr)});
    case EProblemCode::kOutsideSubnet: {
      std::string networks;
      for (const IPV4_SUBNET_T& subnet : subnets) {
        if (!networks.empty()) networks += ", ";
        networks += SubnetText(subnet);
      }
      return Fill(Translate(tr,
                            "%1 lies outside every network of this computer's adapter (%2). "
                            "The computer cannot reach the device by IP: give it an address "
                            "in one of these networks."),
                  {problem.value, networks});
    }
    case EProblemCode::kUnknownModel:
    default:
      return Fill(Translate(tr,
                            "The device reports no model name and the model catalog "
                            "(config/ModelName.ini) has no entry for firmware \"%1\". Add "
                            "the firmware's prefix to the catalog."),
                  {problem.value});
  }
}

std::string CSiteProblems::DeviceKind(const std::string& model) {
  const std::string upper = Upper(model);
  if (upper.find("INDOOR") != std::string::npos || upper.find("MONITOR") != std::string::npos)
    return "indoor";
  if (upper.find("DOOR") != std::string::npos) return "door";
  return upper;  // an unknown kind: devices of the same model count as one kind
}

std::string CSiteProblems::SubnetText(const IPV4_SUBNET_T& subnet) {
  return CGlobalUtils::IpToText(subnet.address) + "/" + std::to_string(std::popcount(subnet.mask));
}
