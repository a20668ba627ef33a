#include "core/batch/address_plan.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "core/batch/address_record.h"
#include "transport/udp_frame.h"

namespace {

uint32_t Ip(const char* text) {
  uint32_t ip = 0;
  ParseIpv4(text, &ip);
  return ip;
}

DEVICE_ENTRY_T Device(const std::string& mac, const std::string& ip, const std::string& room) {
  return {ip, mac, mac, "DS-210", room, "1.0"};
}

// Adapter 10.0.0.1/24, gateway 10.0.0.254.
PlanInputs Inputs(std::vector<DEVICE_ENTRY_T> devices) {
  PlanInputs inputs;
  inputs.devices = devices;
  inputs.table = devices;
  inputs.adapter = {Ip("10.0.0.1"), Ip("255.255.255.0")};
  inputs.defaults.gateway = "10.0.0.254";
  return inputs;
}

std::vector<std::string> Planned(const AddressPlan& plan) {
  std::vector<std::string> out;
  for (const PlannedDevice& d : plan.devices) out.push_back(d.device.mac + "=" + d.ip);
  return out;
}

std::vector<ConflictKind> Kinds(const PlannedDevice& d) {
  std::vector<ConflictKind> kinds;
  for (const PlanConflict& c : d.conflicts) kinds.push_back(c.kind);
  return kinds;
}

TEST(AddressPlanRange, OrdersAndSkipsEveryAddressInUse) {
  PlanInputs inputs = Inputs({Device("02:00:00:00:00:03", "192.168.1.100", "1-10"),
                              Device("02:00:00:00:00:01", "192.168.1.100", "1-2"),
                              Device("02:00:00:00:00:02", "10.0.0.7", "1-9")});
  inputs.table.push_back(Device("02:00:00:00:00:99", "10.0.0.4", "9-9"));  // a device not moved
  inputs.arpAnswers[Ip("10.0.0.5")] = "3E1122334455";                      // a foreign host
  inputs.arpAnswers[Ip("10.0.0.6")] = "020000000002";                      // device 02 itself
  inputs.defaults.gateway = "10.0.0.3";
  const AddressPlan plan = PlanFromRange(inputs, {Ip("10.0.0.1"), 1, PlanOrder::kRoom});
  // Rooms in number order: 1-2, 1-9, 1-10. Skipped: .1 adapter, .3 gateway, .4 another device,
  // .5 a host; .6 answers for device 02, which may take it; .7 is device 02's address now.
  EXPECT_EQ(Planned(plan),
            (std::vector<std::string>{"02:00:00:00:00:01=10.0.0.2", "02:00:00:00:00:02=10.0.0.6",
                                      "02:00:00:00:00:03=10.0.0.8"}));
  EXPECT_EQ(plan.skipped, (std::vector<uint32_t>{Ip("10.0.0.1"), Ip("10.0.0.3"), Ip("10.0.0.4"),
                                                 Ip("10.0.0.5"), Ip("10.0.0.7")}));
  EXPECT_TRUE(plan.Clean());
  EXPECT_EQ(plan.devices[0].mask, "255.255.255.0") << "the adapter's mask by default";
  EXPECT_EQ(plan.devices[0].dns1, "10.0.0.3") << "the gateway as DNS by default";
}

TEST(AddressPlanRange, StepOrderAndExhaustion) {
  const std::vector<DEVICE_ENTRY_T> devices = {Device("02:00:00:00:00:0B", "10.0.0.30", "2"),
                                               Device("02:00:00:00:00:0a", "10.0.0.20", "3"),
                                               Device("02:00:00:00:00:0C", "10.0.0.10", "1")};
  struct Case {
    PlanOrder order;
    const char* start;
    uint32_t step;
    std::vector<std::string> expected;
  } cases[] = {
      {PlanOrder::kIp,
       "10.0.0.100",
       10,
       {"02:00:00:00:00:0C=10.0.0.100", "02:00:00:00:00:0a=10.0.0.110",
        "02:00:00:00:00:0B=10.0.0.120"}},
      {PlanOrder::kMac,
       "10.0.0.100",
       1,
       {"02:00:00:00:00:0a=10.0.0.100", "02:00:00:00:00:0B=10.0.0.101",
        "02:00:00:00:00:0C=10.0.0.102"}},
      // .252, .253; .254 is the gateway and .255 the broadcast address: the third runs out.
      {PlanOrder::kRoom,
       "10.0.0.252",
       1,
       {"02:00:00:00:00:0C=10.0.0.252", "02:00:00:00:00:0B=10.0.0.253", "02:00:00:00:00:0a="}},
      // A step that leaves the subnet ends the range as well.
      {PlanOrder::kRoom,
       "10.0.0.200",
       50,
       {"02:00:00:00:00:0C=10.0.0.200", "02:00:00:00:00:0B=10.0.0.250", "02:00:00:00:00:0a="}},
  };
  for (const Case& c : cases) {
    const AddressPlan plan = PlanFromRange(Inputs(devices), {Ip(c.start), c.step, c.order});
    EXPECT_EQ(Planned(plan), c.expected) << c.start << " step " << c.step;
    const bool exhausted = c.expected.back().back() == '=';
    EXPECT_EQ(plan.Clean(), !exhausted);
    if (exhausted) {
      EXPECT_EQ(Kinds(plan.devices[2]), std::vector<ConflictKind>{ConflictKind::kRangeExhausted});
    }
  }
}

// Every conflict a planned address can have, one device edited at a time.
TEST(AddressPlanConflicts, EachKindIsNamed) {
  PlanInputs inputs = Inputs({Device("02:00:00:00:00:01", "10.0.0.50", "1"),
                              Device("02:00:00:00:00:02", "10.0.0.60", "2")});
  inputs.table.push_back(Device("02:00:00:00:00:99", "10.0.0.99", "9"));
  inputs.arpAnswers[Ip("10.0.0.77")] = "3E1122334455";
  struct Case {
    const char* ip;
    std::string gateway;
    ConflictKind expected;
    std::string detail;
  } cases[] = {
      {"10.0.0.99", "", ConflictKind::kUsedByDevice, "020000000099"},
      {"10.0.0.60", "", ConflictKind::kUsedByDevice, "020000000002"},
      {"10.0.0.77", "", ConflictKind::kUsedByHost, "3E1122334455"},
      {"10.0.0.1", "", ConflictKind::kAdapterAddress, ""},
      {"10.0.0.254", "", ConflictKind::kGatewayAddress, ""},
      {"10.0.0.0", "", ConflictKind::kNetworkAddress, ""},
      {"10.0.0.255", "", ConflictKind::kBroadcastAddress, ""},
      {"10.0.0.51", "10.0.1.1", ConflictKind::kGatewayOutsideSubnet, ""},
      {"10.0.0.51", "10.0.0.300", ConflictKind::kInvalidSetting, "gateway"},
      {"10.0.0", "", ConflictKind::kInvalidSetting, "address"},
  };
  for (const Case& c : cases) {
    AddressPlan plan = PlanFromRange(inputs, {Ip("10.0.0.10"), 1, PlanOrder::kMac});
    ASSERT_TRUE(plan.Clean()) << c.ip;
    if (!c.gateway.empty()) plan.devices[0].gateway = c.gateway;
    ReplanAddress(inputs, &plan, 0, c.ip);
    ASSERT_EQ(plan.devices[0].conflicts.size(), 1u) << c.ip;
    EXPECT_EQ(plan.devices[0].conflicts[0].kind, c.expected) << c.ip;
    EXPECT_EQ(plan.devices[0].conflicts[0].detail, c.detail) << c.ip;
    EXPECT_TRUE(plan.devices[1].Clean()) << c.ip;
  }
  // Two devices planned on one address: both are named, each with the other.
  AddressPlan plan = PlanFromRange(inputs, {Ip("10.0.0.10"), 1, PlanOrder::kMac});
  ReplanAddress(inputs, &plan, 1, plan.devices[0].ip);
  ASSERT_EQ(plan.ConflictCount(), 2u);
  EXPECT_EQ(plan.devices[0].conflicts[0].detail, "02:00:00:00:00:02");
  EXPECT_EQ(plan.devices[1].conflicts[0].detail, "02:00:00:00:00:01");
  EXPECT_EQ(ConflictText(plan.devices[0].conflicts[0]),
            "same address planned for another device: 02:00:00:00:00:02");
}

TEST(PlanFile, RefusesEveryBadRowWithItsLine) {
  const PlanFile file = ParsePlanFile(
      "\xEF\xBB\xBFMAC , IP,Mask,gateway,DNS1,dns2,note\r\n"
      "02-00-00-00-00-01,10.0.0.10,255.255.255.0,10.0.0.254,10.0.0.254,,\"a, b\"\r\n"
      "\r\n"
      "02:00:00:00:00:0g,10.0.0.11,,,,,\n"
      ",10.0.0.12,,,,,\n"
      "020000000003,10.0.0.300,255.0.255.0,,8.8.8,,\n"
      "\"020000000004\",\"10.0.0.14\"\n"
      "020000000005,\"10.0.0.15\n");
  ASSERT_EQ(file.rows.size(), 2u);
  EXPECT_EQ(file.rows[0].mac, "020000000001");
  EXPECT_EQ(file.rows[0].line, 2);
  EXPECT_EQ(file.rows[0].mask, "255.255.255.0");
  EXPECT_EQ(file.rows[1].line, 7);
  EXPECT_EQ(file.rows[1].ip, "10.0.0.14");
  EXPECT_EQ(file.errors,
            (std::vector<std::string>{
                "line 4: mac \"02:00:00:00:00:0g\" is not a MAC address",
                "line 5: neither mac nor room names a device",
                "line 6: ip \"10.0.0.300\" is not an IPv4 address; mask \"255.0.255.0\" is not a "
                "subnet mask; dns1 \"8.8.8\" is not an IPv4 address",
                "line 8: a quote is not closed"}));
  EXPECT_EQ(
      ParsePlanFile("mac,address\n02:00:00:00:00:01,10.0.0.1\n").errors,
      std::vector<std::string>{"line 1: the header needs an ip column and a mac or room column"});
  EXPECT_FALSE(ParsePlanFile("").Valid());
}

TEST(PlanFile, RowsNameKnownDevicesOnce) {
  PlanInputs inputs = Inputs({Device("02:00:00:00:00:01", "10.0.0.50", "1-1"),
                              Device("02:00:00:00:00:02", "10.0.0.60", "1-2"),
                              Device("02:00:00:00:00:03", "10.0.0.70", "1-2")});
  inputs.devices[0].workMac = "061A00000001";
  const PlanFile file = ParsePlanFile(
      "room,mac,ip,gateway\n"
      "1-1,,10.0.0.11,\n"
      ",02:00:00:00:00:03,10.0.0.13,10.0.0.1\n"
      "1-2,,10.0.0.12,\n"
      ",02:00:00:00:00:09,10.0.0.19,\n"
      ",06:1a:00:00:00:01,10.0.0.21,\n"
      "4-4,,10.0.0.22,\n");
  ASSERT_TRUE(file.Valid());
  const AddressPlan plan = PlanFromFile(inputs, file);
  EXPECT_EQ(plan.rowErrors,
            (std::vector<std::string>{"line 4: room 1-2 names 2 devices; name them by mac",
                                      "line 5: no device with MAC 020000000009",
                                      "line 6: a second row for the device of line 2",
                                      "line 7: no device with room 4-4"}));
  ASSERT_EQ(plan.devices.size(), 2u);
  EXPECT_EQ(plan.devices[1].gateway, "10.0.0.1") << "a row's own value wins over the command's";
  // A gateway on the computer's own address is no conflict for the device.
  EXPECT_TRUE(plan.devices[1].Clean());
  EXPECT_FALSE(plan.Clean());
}

// The record of a run, given back as a plan, plans every device on its old settings; devices that
// shared a factory address conflict there with each other, and nothing may be sent.
TEST(AddressRecord, ReadsBackAsThePlanOfTheOldAddresses) {
  PlanInputs moved = Inputs({Device("02:00:00:00:00:01", "10.0.0.11", "1"),
                             Device("02:00:00:00:00:02", "10.0.0.12", "2"),
                             Device("02:00:00:00:00:03", "10.0.0.13", "3")});
  const char* before[] = {"10.0.0.50", "10.0.0.60", "10.0.0.60"};
  std::vector<AssignOutcome> outcomes;
  for (size_t i = 0; i < 3; ++i) {
    AssignOutcome o;
    o.planned.device = moved.devices[i];
    o.planned.device.ip = before[i];
    o.planned.ip = moved.devices[i].ip;
    o.before = {true, "0", before[i], "255.255.255.0", "10.0.0.254", "10.0.0.254", ""};
    o.status = AssignStatus::kSuccess;
    outcomes.push_back(o);
  }
  const PlanFile file = ParsePlanFile(address_record::FormatCsv(outcomes));
  ASSERT_TRUE(file.Valid());
  const AddressPlan plan = PlanFromFile(moved, file);
  ASSERT_TRUE(plan.rowErrors.empty());
  EXPECT_EQ(Planned(plan),
            (std::vector<std::string>{"02:00:00:00:00:01=10.0.0.50", "02:00:00:00:00:02=10.0.0.60",
                                      "02:00:00:00:00:03=10.0.0.60"}));
  EXPECT_TRUE(plan.devices[0].Clean());
  EXPECT_EQ(Kinds(plan.devices[1]), std::vector<ConflictKind>{ConflictKind::kSamePlanned});
  EXPECT_EQ(Kinds(plan.devices[2]), std::vector<ConflictKind>{ConflictKind::kSamePlanned});
  EXPECT_NE(address_record::FormatJson(outcomes).find("\"new_ip\": \"10.0.0.11\""),
            std::string::npos);
}

}  // namespace
