#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/batch/plan_file.h"
#include "core/common/device_entry.h"
#include "platform/adapter_subnets.h"

// Planning the final static addresses of many devices: from a start address with a step in an
// order (room number, current IP, MAC), or from a plan file. Pure: the caller hands in what it
// knows (the device table, the adapter, the hosts that answered an ARP probe) and gets, for each
// device, its current and planned settings and every conflict found. Nothing is sent here.

enum class PlanOrder { kRoom, kIp, kMac };

// Settings a plan row or the range does not give; from the command or the dialog.
struct PlanDefaults {
  std::string mask;  // empty: the adapter's mask
  std::string gateway;
  std::string dns1;  // empty: the gateway
  std::string dns2;
};

struct PlanInputs {
  std::vector<DEVICE_ENTRY_T> devices;  // the devices to move
  std::vector<DEVICE_ENTRY_T> table;    // every device known on the segment (may hold `devices`)
  IPV4_SUBNET_T adapter;                // the adapter's own address and mask
  PlanDefaults defaults;
  // Addresses a host answered an ARP probe for, with the MAC that answered (12 upper-case
  // digits). An answer from the planned device itself is no conflict.
  std::unordered_map<uint32_t, std::string> arpAnswers;
};

struct RangeRule {
  uint32_t start = 0;
  uint32_t step = 1;
  PlanOrder order = PlanOrder::kRoom;
};

enum class ConflictKind {
  kUsedByDevice,          // another device has the address now (detail: its MAC)
  kUsedByHost,            // a host answered the ARP probe for it (detail: its MAC)
  kAdapterAddress,        // this computer's own address
  kGatewayAddress,        // the gateway's address
  kNetworkAddress,        // the network address of the planned subnet
  kBroadcastAddress,      // the broadcast address of the planned subnet
  kSamePlanned,           // another device is planned on it too (detail: its MAC)
  kGatewayOutsideSubnet,  // the gateway lies outside the planned subnet
  kRangeExhausted,        // the range ran out before this device got an address
  kInvalidSetting,        // an address or mask that fails the checks (detail: which)
};

struct PlanConflict {
  ConflictKind kind = ConflictKind::kUsedByDevice;
  std::string detail;
};

// "address used by device 02:..", "gateway outside the planned subnet", ...: plain English
// words, which the window looks up in its catalog (the detail is appended after ": ").
const char* ConflictKindText(ConflictKind kind);
std::string ConflictText(const PlanConflict& conflict);
// "used_by_device", ...: the machine form.
const char* ConflictKindCode(ConflictKind kind);

struct PlannedDevice {
  DEVICE_ENTRY_T device;  // as discovered: ip is the current address
  std::string ip, mask, gateway, dns1, dns2;
  int line = 0;  // the plan file line that named it (0 from a range)
  std::vector<PlanConflict> conflicts;
  bool Clean() const { return conflicts.empty(); }
};

struct AddressPlan {
  std::vector<PlannedDevice> devices;
  // Rows of a plan file that are wrong ("line 7: ..."); any one refuses the whole file.
  std::vector<std::string> rowErrors;
  // Range addresses passed over because they were in use, in order.
  std::vector<uint32_t> skipped;

  bool Clean() const;
  size_t ConflictCount() const;
};

// Orders the devices, then walks start, start + step, ... within the start address's subnet
// (by the planned mask), skipping every address in use and giving each device the next free one.
AddressPlan PlanFromRange(const PlanInputs& inputs, const RangeRule& rule);

// Each row names a device (by MAC in any spelling, else by room number) among inputs.devices;
// rows that name no device, a second row for one device and rows whose room fits several
// devices are row errors. Devices without a row are not planned.
AddressPlan PlanFromFile(const PlanInputs& inputs, const PlanFile& file);

// Sets one device's planned address (an edit in the preview) and checks the whole plan again.
void ReplanAddress(const PlanInputs& inputs, AddressPlan* plan, size_t index,
                   const std::string& ip);

// Sorts devices by the order: room numbers compare their digit runs as numbers ("2" < "10"),
// IPs numerically, MACs by their compact text; ties by MAC.
void SortForPlan(std::vector<DEVICE_ENTRY_T>& devices, PlanOrder order);
bool ParsePlanOrder(const std::string& text, PlanOrder* order);
// The rule from what a front end gathered: the start as dotted IPv4 text, the step and the
// order's text ("room", "ip", "mac"). False when the start or the order is not valid.
bool MakeRangeRule(const std::string& start, int step, const std::string& order, RangeRule* rule);
