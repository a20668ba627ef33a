#include "core/batch/address_assign_run.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "core/common/mac_text.h"
#include "core/common/op_clock.h"
#include "core/control/arp_probe.h"
#include "transport/arp_frame.h"

using namespace std::chrono_literals;

namespace {

PlannedDevice Planned(const std::string& mac, const std::string& from, const std::string& to) {
  PlannedDevice p;
  p.device = {from, mac, mac, "DS-210", "1", "1.0"};
  p.ip = to;
  p.mask = "255.255.0.0";
  p.gateway = "10.0.0.254";
  p.dns1 = "10.0.0.254";
  return p;
}

// A segment of simulated devices for the run: each device, once updated, answers the next
// discovery at its new address after `moveDelay`, unless told otherwise.
struct FakeSegment {
  CManualOpClock clock;
  std::map<std::string, DEVICE_ENTRY_T> table;  // by MAC
  std::map<std::string, std::string> movedTo;   // MAC -> address it answers from
  std::set<std::string> refuseAuth, noAck, neverSeen;
  std::map<uint32_t, std::string> claims;
  std::vector<std::string> log;
  size_t verifying = 0, maxVerifying = 0;

  AssignOps Ops() {
    AssignOps ops;
    ops.readConfig = [this](const DEVICE_ENTRY_T& d) {
      log.push_back("read " + d.mac);
      return std::optional<std::map<std::string, std::string>>(
          {{"Config.Network.LAN.Type", "0"},
           {"Config.Status.IP", d.ip},
           {"Config.Status.Netmask", "255.255.0.0"},
           {"Config.Status.Gateway", "10.0.0.1"}});
    };
    ops.authenticate = [this](const DEVICE_ENTRY_T& d) {
      log.push_back("auth " + d.mac);
      return refuseAuth.count(d.mac) ? device_ops::AuthOutcome::kRefused
                                     : device_ops::AuthOutcome::kAccepted;
    };
    ops.update = [this](const DEVICE_ENTRY_T& d, const device_config::NetworkSettings& s) {
      log.push_back("update " + d.mac + " " + s.ip);
      device_ops::UpdateResult r;
      r.outcome = noAck.count(d.mac) ? device_ops::UpdateOutcome::kNoAck
                                     : device_ops::UpdateOutcome::kSucceeded;
      if (r.outcome == device_ops::UpdateOutcome::kSucceeded && !neverSeen.count(d.mac))
        movedTo[d.mac] = s.ip;
      if (r.outcome == device_ops::UpdateOutcome::kSucceeded)
        maxVerifying = std::max(maxVerifying, ++verifying);
      return r;
    };
    ops.forget = [this](const DEVICE_ENTRY_T& d) { table.erase(d.mac); };
    ops.discover = [this] {
      for (auto& [mac, ip] : movedTo) {
        DEVICE_ENTRY_T d{ip, mac, mac, "DS-210", "1", "1.0"};
        table[mac] = d;
      }
    };
    ops.table = [this] {
      std::vector<DEVICE_ENTRY_T> out;
      for (auto& [mac, d] : table) out.push_back(d);
      return out;
    };
    ops.claimOf = [this](uint32_t ip) { return claims.count(ip) ? claims[ip] : std::string(); };
    return ops;
  }
};

TEST(AddressAssignRun, EachDeviceEndsWithItsReason) {
  FakeSegment segment;
  std::vector<PlannedDevice> devices = {
      Planned("02:00:00:00:00:01", "192.168.1.100", "10.0.0.11"),
      Planned("02:00:00:00:00:02", "192.168.1.100", "10.0.0.12"),
      Planned("02:00:00:00:00:03", "10.0.0.33", "10.0.0.13"),
      Planned("02:00:00:00:00:04", "10.0.0.34", "10.0.0.14"),
      Planned("02:00:00:00:00:05", "10.0.0.35", "10.0.0.15"),
  };
  for (const PlannedDevice& p : devices) segment.table[p.device.mac] = p.device;
  segment.refuseAuth = {"02:00:00:00:00:02"};
  segment.noAck = {"02:00:00:00:00:03"};
  segment.neverSeen = {"02:00:00:00:00:04"};
  segment.claims[0x0A00000F] = "3E1122334455";  // a host took 10.0.0.15 during the run
  segment.claims[0x0A00000B] = "020000000001";  // device 01 answering for itself
  AssignOptions options;
  options.verifyTime = 10s;
  CAddressAssignRun run(devices, segment.Ops(), segment.clock, options);
  std::vector<std::string> ended;
  run.progress = [&](const AssignOutcome& o) { ended.push_back(o.planned.device.mac); };
  run.Run();

  struct Expected {
    AssignStatus status;
    AssignFailure failure;
    std::string detail;
  } expected[] = {
      {AssignStatus::kSuccess, AssignFailure::kNone, ""},
      {AssignStatus::kFailed, AssignFailure::kAuthRefused, ""},
      {AssignStatus::kFailed, AssignFailure::kNoAck, ""},
      {AssignStatus::kFailed, AssignFailure::kNotSeen, ""},
      {AssignStatus::kFailed, AssignFailure::kConflict, "3E1122334455"},
  };
  const auto& outcomes = run.Outcomes();
  for (size_t i = 0; i < outcomes.size(); ++i) {
    EXPECT_EQ(outcomes[i].status, expected[i].status) << i;
    EXPECT_EQ(outcomes[i].failure, expected[i].failure) << i;
    EXPECT_EQ(outcomes[i].detail, expected[i].detail) << i;
    EXPECT_TRUE(outcomes[i].before.read);
    EXPECT_EQ(outcomes[i].before.gateway, "10.0.0.1");
  }
  EXPECT_EQ(ended.size(), 5u);
  EXPECT_FALSE(run.AllSucceeded());
  // Nothing is sent to a device whose planned address a host claimed, and no update to a device
  // that refused the credential.
  for (const std::string& line : segment.log) {
    EXPECT_NE(line, "auth 02:00:00:00:00:05");
    EXPECT_NE(line.rfind("update 02:00:00:00:00:02", 0), 0u);
  }
  // The device never seen failed only after its verify time.
  EXPECT_GE(outcomes[3].elapsed, 10s);
}

TEST(AddressAssignRun, SuccessNeedsALaterDiscoveryAndAtMostNWait) {
  FakeSegment segment;
  std::vector<PlannedDevice> devices;
  for (int i = 0; i < 20; ++i) {
    const std::string n = std::to_string(10 + i);
    devices.push_back(Planned("02:00:00:00:00:" + n, "10.0.1." + n, "10.0.0." + n));
    segment.table[devices.back().device.mac] = devices.back().device;
  }
  // Device 0 is listed at its planned address already before the run, but never moves: the stale
  // entry must not count.
  segment.table[devices[0].device.mac].ip = devices[0].ip;
  segment.neverSeen = {devices[0].device.mac};
  AssignOptions options;
  options.parallel = 3;
  options.verifyTime = 5s;
  CAddressAssignRun run(devices, segment.Ops(), segment.clock, options);
  run.progress = [&](const AssignOutcome&) { --segment.verifying; };
  run.Run();
  EXPECT_EQ(run.Outcomes()[0].failure, AssignFailure::kNotSeen);
  EXPECT_EQ(run.Count(AssignStatus::kSuccess), 19u);
  EXPECT_LE(segment.maxVerifying, 3u);
  EXPECT_EQ(segment.maxVerifying, 3u);
}

TEST(ArpProbe, PacedBoundedAndCollectsClaims) {
  CManualOpClock clock;
  const uint8_t mac[6] = {0xd6, 0xcc, 0xb2, 0x07, 0xeb, 0x6d};
  std::vector<std::chrono::milliseconds> sentAt;
  CArpProbe* self = nullptr;
  CArpProbe probe(mac,
                  [&](const uint8_t* frame, int length) {
                    sentAt.push_back(clock.Now());
                    // The owner of 10.0.0.5 answers; so does our own kernel (which is ignored).
                    const uint32_t target =
                        (frame[38] << 24) | (frame[39] << 16) | (frame[40] << 8) | frame[41];
                    if (target == 0x0A000005 || target == 0x0A000006) {
                      uint8_t reply[60] = {};
                      std::memcpy(reply, frame, length);
                      reply[21] = 2;
                      const uint8_t owner[6] = {0x3e, 0x11, 0x22, 0x33, 0x44, 0x55};
                      std::memcpy(reply + 22, target == 0x0A000005 ? owner : mac, 6);
                      std::memcpy(reply + 28, frame + 38, 4);
                      self->OnFrame(reply, 60);
                    }
                    return true;
                  },
                  clock, {100, 2, 1000ms, 60s});
  self = &probe;
  std::vector<uint32_t> targets;
  for (uint32_t i = 1; i <= 50; ++i) targets.push_back(0x0A000000 + i);
  ASSERT_TRUE(probe.Probe(targets));
  EXPECT_EQ(sentAt.size(), 100u);
  // 100 frames a second: the 100th leaves after about a second, never sooner.
  EXPECT_GE(sentAt.back(), 990ms);
  EXPECT_LE(sentAt.back(), 1100ms);
  EXPECT_GE(clock.Now(), sentAt.back() + 1000ms) << "waits for late answers";
  EXPECT_EQ(probe.Claims().size(), 1u);
  EXPECT_EQ(probe.ClaimOf(0x0A000005), "3E1122334455");

  // The time limit cuts a long probe short, and says so.
  CArpProbe bounded(mac, [](const uint8_t*, int) { return true; }, clock, {100, 2, 1000ms, 2s});
  std::vector<uint32_t> many(1000, 0x0A000001);
  EXPECT_FALSE(bounded.Probe(many));
  EXPECT_LE(bounded.FramesSent(), 201u);
}

// A wrong password on a batch: the first devices' refusals stop the run before the rest are
// tried (devices may lock the account), nothing is updated, and CredentialRefused tells the
// front end to ask again. Once any device accepts, every device is tried and refusals are named.
TEST(AddressAssignRun, ACredentialTheFirstDevicesRefuseIsNotTriedOnTheRest) {
  struct Case {
    const char* name;
    std::set<int> accepting;  // device indexes that accept; the others refuse
    size_t authenticated;
    bool credentialRefused;
  } cases[] = {
      {"every device refuses", {}, CCredentialGate::kProbeDevices, true},
      {"the first accepts", {0}, 30, false},
      {"the third accepts", {2}, 30, false},
      {"only the fourth accepts", {3}, CCredentialGate::kProbeDevices, true},
  };
  for (const Case& c : cases) {
    FakeSegment segment;
    std::vector<PlannedDevice> devices;
    for (int i = 0; i < 30; ++i) {
      const std::string n = std::to_string(10 + i);
      devices.push_back(Planned("02:00:00:00:01:" + n, "10.0.1." + n, "10.0.0." + n));
      segment.table[devices.back().device.mac] = devices.back().device;
      if (!c.accepting.count(i)) segment.refuseAuth.insert(devices.back().device.mac);
    }
    AssignOptions options;
    options.verifyTime = 2s;
    CAddressAssignRun run(devices, segment.Ops(), segment.clock, options);
    size_t ended = 0;
    run.progress = [&](const AssignOutcome&) { ++ended; };
    run.Run();

    size_t authenticated = 0, updated = 0;
    for (const std::string& line : segment.log) {
      authenticated += line.rfind("auth ", 0) == 0;
      updated += line.rfind("update ", 0) == 0;
    }
    EXPECT_EQ(authenticated, c.authenticated) << c.name;
    EXPECT_EQ(updated, c.accepting.size() * (c.credentialRefused ? 0 : 1)) << c.name;
    EXPECT_EQ(CredentialRefused(run.Outcomes()), c.credentialRefused) << c.name;
    EXPECT_EQ(ended, devices.size()) << c.name << ": every device ends, tried or not";
    for (size_t i = 0; i < run.Outcomes().size(); ++i) {
      const AssignOutcome& o = run.Outcomes()[i];
      const AssignFailure expected = i >= c.authenticated        ? AssignFailure::kNotTried
                                     : c.accepting.count(int(i)) ? AssignFailure::kNone
                                                                 : AssignFailure::kAuthRefused;
      EXPECT_EQ(o.failure, expected) << c.name << " " << i;
    }
  }
}

// What the front ends ask again for: refusals with no acceptance; a silent device or an address
// conflict says nothing of the credential, any device past its authentication means it is right.
TEST(AddressAssignRun, CredentialRefusedReadsTheOutcomes) {
  auto outcome = [](AssignStatus status, AssignFailure failure, const std::string& detail = "") {
    AssignOutcome o;
    o.status = status;
    o.failure = failure;
    o.detail = detail;
    return o;
  };
  const AssignOutcome refused = outcome(AssignStatus::kFailed, AssignFailure::kAuthRefused);
  const AssignOutcome silent =
      outcome(AssignStatus::kFailed, AssignFailure::kAuthRefused, "no answer");
  const AssignOutcome conflict =
      outcome(AssignStatus::kFailed, AssignFailure::kConflict, "3E1122334455");
  const AssignOutcome notSeen = outcome(AssignStatus::kFailed, AssignFailure::kNotSeen);
  const AssignOutcome moved = outcome(AssignStatus::kSuccess, AssignFailure::kNone);
  const AssignOutcome notTried = outcome(AssignStatus::kFailed, AssignFailure::kNotTried);
  struct Case {
    std::vector<AssignOutcome> outcomes;
    bool refusedCredential;
  } cases[] = {
      {{refused}, true},
      {{refused, silent, conflict}, true},
      {{refused, refused, refused, notTried}, true},
      {{silent, silent}, false},
      {{conflict}, false},
      {{refused, notSeen}, false},
      {{refused, moved}, false},
      {{}, false},
  };
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(CredentialRefused(cases[i].outcomes), cases[i].refusedCredential) << i;
}

}  // namespace
