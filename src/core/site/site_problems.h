#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/common/device_entry.h"
#include "platform/adapter_subnets.h"

// Settings that break a site, worked out over the whole device table: two devices on one IP
// address, two units of the same kind with one room number, a device the computer cannot reach
// because its address lies outside every network of the capture adapter, and a device whose
// model nobody can name. Linear in time and memory in the table (hash maps; a group keeps a count
// and a few names), run once per refresh, never per answer.
enum class EProblemCode { kDuplicateIp, kDuplicateRoom, kOutsideSubnet, kUnknownModel };

struct SITE_PROBLEM_T {
  EProblemCode code = EProblemCode::kDuplicateIp;
  std::string value;  // the shared IP or room number, or the device's IP
  // MAC texts of the first few other devices involved (a group sharing one IP may hold
  // thousands: each member keeps a handful and the count, so the check stays linear).
  std::vector<std::string> others;
  size_t otherCount = 0;  // all other devices involved; others.size() when smaller
};

// Problems of each device with at least one, keyed by its MAC text (the table key).
using SiteProblemMap = std::unordered_map<std::string, std::vector<SITE_PROBLEM_T>>;

// Maps an English text (the catalog key) to the shown text; identity in the command line.
using TextTranslator = std::function<std::string(const std::string&)>;

class CSiteProblems {
public:
  // subnets: the capture adapter's networks; empty skips the reachability rule (nothing to
  // judge against).
  static SiteProblemMap Compute(const std::vector<DEVICE_ENTRY_T>& table,
                                const std::vector<IPV4_SUBNET_T>& subnets);

  // "duplicate_ip", "duplicate_room", "outside_subnet", "unknown_model".
  static const char* Code(EProblemCode code);
  // A few words for a badge or a summary line ("Duplicate IP").
  static std::string ShortText(EProblemCode code, const TextTranslator& tr = {});
  // What is wrong, with which other devices, and what to do.
  static std::string Explanation(const SITE_PROBLEM_T& problem,
                                 const std::vector<IPV4_SUBNET_T>& subnets,
                                 const TextTranslator& tr = {});

  // Units that may share a room number when they are of different kinds (a door station and
  // the indoor monitor of that room): the kind as the model name tells it.
  static std::string DeviceKind(const std::string& model);
  // "192.168.1.10/24"
  static std::string SubnetText(const IPV4_SUBNET_T& subnet);
};
