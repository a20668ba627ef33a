#include "core/batch/address_assign_session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "core/control/control.h"
#include "transport/udp_frame.h"

using namespace std::chrono_literals;

namespace {

uint32_t Ip(const char* text) {
  uint32_t ip = 0;
  ParseIpv4(text, &ip);
  return ip;
}

DEVICE_ENTRY_T Dev(const std::string& ip, const std::string& mac, const std::string& room) {
  return DEVICE_ENTRY_T{ip, mac, mac, "IM-700", room, "105.30.1.1"};
}

// The capture of one adapter 10.0.0.5/24 on a segment whose hosts answer ARP probes for their
// addresses; an answer comes back through whatever tap the session has set.
struct FakeCapture {
  bool adapterOpen = true;
  std::map<uint32_t, uint8_t> hosts;  // address -> last byte of the MAC that answers for it
  std::function<void(const uint8_t*, int)> tap;
  std::vector<uint32_t> probed;

  AssignCapture Capture() {
    AssignCapture capture;
    capture.openAdapter = [this]() -> std::optional<AssignAdapter> {
      if (!adapterOpen) return std::nullopt;
      AssignAdapter adapter;
      adapter.name = "veth-a";
      adapter.mac[0] = 0x02;
      adapter.subnet = {Ip("10.0.0.5"), Ip("255.255.255.0")};
      return adapter;
    };
    capture.sendProbe = [this](const uint8_t* frame, int length, const std::string& adapter) {
      EXPECT_EQ(adapter, "veth-a");
      const uint32_t target = (frame[38] << 24) | (frame[39] << 16) | (frame[40] << 8) | frame[41];
      probed.push_back(target);
      const auto host = hosts.find(target);
      if (host != hosts.end() && tap) {
        uint8_t reply[60] = {};
        std::memcpy(reply, frame, length);
        reply[21] = 2;  // a reply
        const uint8_t mac[6] = {0x00, 0x11, 0x22, 0x33, 0x44, host->second};
        std::memcpy(reply + 22, mac, 6);
        std::memcpy(reply + 28, frame + 38, 4);
        tap(reply, 60);
      }
      return true;
    };
    capture.setTap = [this](std::function<void(const uint8_t*, int)> t) { tap = std::move(t); };
    return capture;
  }
};

class AssignSessionTest : public testing::Test {
protected:
  CControl control;
  CManualOpClock clock;
  FakeCapture capture;
  std::vector<DEVICE_ENTRY_T> devices = {Dev("192.168.1.20", "020000000003", "3"),
                                         Dev("192.168.1.20", "020000000001", "1"),
                                         Dev("10.0.0.12", "020000000002", "2")};

  std::unique_ptr<CAddressAssignSession> Session(CAddressAssignSession::Recorder recorder = {}) {
    return std::make_unique<CAddressAssignSession>(control, std::move(recorder), capture.Capture(),
                                                   clock);
  }
  PlanInputs Inputs(CAddressAssignSession& session) {
    PlanInputs inputs;
    inputs.adapter = session.OpenAdapter();
    session.FillInputs(&inputs, devices, {"", "10.0.0.1", "", ""});
    return inputs;
  }
};

std::vector<std::string> PlannedIps(const AddressPlan& plan) {
  std::vector<std::string> ips;
  for (const PlannedDevice& d : plan.devices) ips.push_back(d.ip);
  return ips;
}

TEST_F(AssignSessionTest, RangeAndFilePlansAreProbedAndTheTapLivesWithTheSession) {
  capture.hosts[Ip("10.0.0.11")] = 0xAA;
  auto session = Session();
  PlanInputs inputs = Inputs(*session);
  EXPECT_EQ(inputs.adapter.address, Ip("10.0.0.5"));
  EXPECT_EQ(inputs.adapter.mask, Ip("255.255.255.0"));
  ASSERT_TRUE(capture.tap) << "the probe listens from the start";
  EXPECT_EQ(inputs.table.size(), 3u) << "devices the table lost still hold their addresses";

  // The host on .11 moves the plan on; the address taken instead is probed in a second round.
  RangeRule rule;
  ASSERT_TRUE(MakeRangeRule("10.0.0.10", 1, "room", &rule));
  AddressPlan plan;
  ASSERT_TRUE(session->PlanRange(inputs, rule, &plan));
  EXPECT_EQ(PlannedIps(plan), (std::vector<std::string>{"10.0.0.10", "10.0.0.12", "10.0.0.13"}));
  EXPECT_EQ(plan.ConflictCount(), 0u);
  EXPECT_EQ(inputs.arpAnswers.count(Ip("10.0.0.11")), 1u);
  EXPECT_EQ(std::count(capture.probed.begin(), capture.probed.end(), Ip("10.0.0.13")), 2)
      << "probed (twice, as replies get lost) only once the plan took it";

  // A plan file goes through the same probe: a host on one of its addresses is a conflict.
  capture.hosts[Ip("10.0.0.40")] = 0xBB;
  const PlanFile file =
      ParsePlanFile("mac,ip\n02:00:00:00:00:01,10.0.0.40\n020000000002,10.0.0.41\n");
  ASSERT_TRUE(file.Valid());
  ASSERT_TRUE(session->PlanByFile(inputs, file, &plan));
  ASSERT_EQ(plan.devices.size(), 2u);
  ASSERT_EQ(plan.devices[0].conflicts.size(), 1u);
  EXPECT_EQ(plan.devices[0].conflicts[0].kind, ConflictKind::kUsedByHost);
  EXPECT_EQ(plan.devices[0].conflicts[0].detail, "0011223344BB");
  EXPECT_TRUE(plan.devices[1].Clean());

  // A file with a row error is refused before anything is sent.
  const size_t sent = capture.probed.size();
  ASSERT_TRUE(
      session->PlanByFile(inputs, ParsePlanFile("mac,ip\n02:00:00:00:00:09,10.0.0.50\n"), &plan));
  EXPECT_FALSE(plan.rowErrors.empty());
  EXPECT_EQ(capture.probed.size(), sent);

  // An edit is checked again before applying: a host that came up on it since is found.
  ASSERT_TRUE(session->PlanRange(inputs, rule, &plan));
  ReplanAddress(inputs, &plan, 2, "10.0.0.60");
  capture.hosts[Ip("10.0.0.60")] = 0xCC;
  ASSERT_TRUE(session->Recheck(inputs, &plan));
  ASSERT_EQ(plan.devices[2].conflicts.size(), 1u);
  EXPECT_EQ(plan.devices[2].conflicts[0].detail, "0011223344CC");
  // ... and during the run, through the operations' look-up.
  EXPECT_EQ(session->Ops("admin", "secret").claimOf(Ip("10.0.0.60")), "0011223344CC");

  session.reset();
  EXPECT_FALSE(capture.tap) << "the tap goes with the session";
}

TEST_F(AssignSessionTest, WithoutAnOpenCaptureNothingIsPlannedOrTapped) {
  capture.adapterOpen = false;
  auto session = Session();
  PlanInputs inputs = Inputs(*session);
  EXPECT_EQ(inputs.adapter.address, 0u);
  EXPECT_FALSE(session->HasAdapter());
  EXPECT_FALSE(capture.tap);
  RangeRule rule;
  ASSERT_TRUE(MakeRangeRule("10.0.0.10", 1, "ip", &rule));
  AddressPlan plan;
  EXPECT_FALSE(session->PlanRange(inputs, rule, &plan));
  EXPECT_FALSE(session->Recheck(inputs, &plan));
  EXPECT_TRUE(capture.probed.empty());
}

TEST_F(AssignSessionTest, TheFinishedRunIsRecordedOnceWithItsParameters) {
  std::vector<std::vector<AssignOutcome>> recorded;
  std::map<std::string, std::string> recordedParameters;
  auto session = Session([&](const std::vector<AssignOutcome>& outcomes,
                             const std::map<std::string, std::string>& parameters) {
    recorded.push_back(outcomes);
    recordedParameters = parameters;
  });
  PlanInputs inputs = Inputs(*session);
  RangeRule rule;
  ASSERT_TRUE(MakeRangeRule("10.0.0.20", 1, "room", &rule));
  AddressPlan plan;
  ASSERT_TRUE(session->PlanRange(inputs, rule, &plan));

  // Devices that take their address and answer there; room 2's refuses the credential.
  std::map<std::string, std::string> moved;
  AssignOps ops;
  ops.readConfig = [](const DEVICE_ENTRY_T&) {
    return std::optional<std::map<std::string, std::string>>();
  };
  ops.authenticate = [](const DEVICE_ENTRY_T& d) {
    return d.deviceId == "2" ? device_ops::AuthOutcome::kRefused
                             : device_ops::AuthOutcome::kAccepted;
  };
  ops.update = [&](const DEVICE_ENTRY_T& d, const device_config::NetworkSettings& s) {
    moved[d.mac] = s.ip;
    device_ops::UpdateResult r;
    r.outcome = device_ops::UpdateOutcome::kSucceeded;
    return r;
  };
  ops.forget = [](const DEVICE_ENTRY_T&) {};
  ops.discover = [] {};
  ops.table = [&] {
    std::vector<DEVICE_ENTRY_T> table;
    for (const auto& [mac, ip] : moved) table.push_back(Dev(ip, mac, ""));
    return table;
  };
  ops.claimOf = [](uint32_t) { return std::string(); };
  AssignOptions options;
  options.verifyTime = 2s;

  size_t progressed = 0;
  const std::vector<AssignOutcome> outcomes =
      session->Run(plan.devices, ops, options, {{"user", "admin"}, {"parallel", "8"}},
                   [&](const AssignOutcome&) { ++progressed; });
  ASSERT_EQ(outcomes.size(), 3u);
  EXPECT_EQ(progressed, 3u);
  ASSERT_EQ(recorded.size(), 1u);
  ASSERT_EQ(recorded[0].size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(recorded[0][i].status, outcomes[i].status) << i;
    const bool refused = outcomes[i].planned.device.deviceId == "2";
    EXPECT_EQ(outcomes[i].status, refused ? AssignStatus::kFailed : AssignStatus::kSuccess) << i;
  }
  EXPECT_EQ(recordedParameters.at("user"), "admin");
}

}  // namespace
