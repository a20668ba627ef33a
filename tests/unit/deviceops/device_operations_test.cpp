#include "core/device/device_operations.h"

#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <vector>

#include "core/common/op_clock.h"
#include "core/control/control.h"
#include "core/control/control_outbound_hooks.h"
#include "core/device/authenticate_dispatcher.h"
#include "core/device/device_config_keys.h"
#include "core/device/network_input_check.h"
#include "protocol/msg_header.h"
#include "protocol/payload_envelope.h"
#include "protocol/request_records.h"
#include "protocol/text_field.h"
#include "unit/inbound/inbound_fixture.h"

namespace {

using namespace inbound_test;
using namespace std::chrono_literals;

constexpr uint8_t kFrameMac[6] = {0x02, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
constexpr const char* kKey = "021A2B3C4D5E";

DEVICE_ENTRY_T Device() {
  DEVICE_ENTRY_T d;
  d.ip = "10.0.0.7";
  d.mac = kKey;
  d.workMac = kKey;
  return d;
}

// Every packet the operations send, and the plain document inside it.
class DeviceOps : public InboundTest {
protected:
  void SetUp() override {
    InboundTest::SetUp();
    OutboundHooks hooks;
    hooks.send = [this](const PACKET_RECORD_T* p) {
      sent.push_back(*p);
      if (onSend) onSend();
    };
    SetOutboundHooks(hooks);
  }
  void TearDown() override {
    SetOutboundHooks({});
    InboundTest::TearDown();
  }

  std::string Document(size_t i) { return SentDocument(sent.at(i), kKey); }
  std::string Element(size_t i, const std::string& name) {
    std::smatch m;
    const std::string doc = Document(i);
    return std::regex_search(doc, m, std::regex("<" + name + ">([^<]*)</" + name + ">"))
               ? m[1].str()
               : "";
  }
  void AnswerAuthenticate(int result, const std::string& uuid) {
    const PACKET_RECORD_T r = Received(MSG_AUTHENTICATE_ACK,
                                       Doc("<Result>" + std::to_string(result) + "</Result><UUID>" +
                                           uuid + "</UUID><Desc>d</Desc>"),
                                       kKey, Envelope::kBare, kFrameMac);
    control.OnSocketMsg(&r);
  }
  void Acknowledge(const std::string& result, const uint8_t (&mac)[6] = kFrameMac) {
    const PACKET_RECORD_T r =
        Received(MSG_FROM_DEVICE_ACK, AckDoc(result), kKey, Envelope::kBare, mac);
    control.OnSocketMsg(&r);
  }

  std::vector<PACKET_RECORD_T> sent;
  std::function<void()> onSend;
  CManualOpClock clock;
};

std::vector<std::string> Items(const CONFIG_MODULE_T& module) {
  std::vector<std::string> out;
  for (const auto& item : module.szItem) {
    std::string text = FieldToUtf8(item);
    if (text.empty()) break;
    out.push_back(text);
  }
  return out;
}

TEST(DeviceConfigKeys, InterfaceRuleComparesMacAndWorkMacAsMacs) {
  const struct {
    const char* mac;
    const char* workMac;
    const char* typeKey;
  } cases[] = {
      {"021A2B3C4D5E", "021A2B3C4D5E", "Config.Network.LAN.Type"},
      {"02:1a:2b:3c:4d:5e", "02:1a:2b:3c:4d:5e", "Config.Network.LAN.Type"},
      // The same address in other spellings: still the first interface.
      {"02:1a:2b:3c:4d:5e", "021A2B3C4D5E", "Config.Network.LAN.Type"},
      {"02-1A-2B-3C-4D-5E", "02:1a:2b:3c:4d:5e", "Config.Network.LAN.Type"},
      {"021A2B3C4D5E", "061A2B3C4D5E", "Config.Network.WLAN.Type"},
      {"02:1a:2b:3c:4d:5e", "06:1a:2b:3c:4d:5e", "Config.Network.WLAN.Type"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mac + std::string(" / ") + c.workMac);
    DEVICE_ENTRY_T d = Device();
    d.mac = c.mac;
    d.workMac = c.workMac;
    CONFIG_MODULE_T items;
    device_config::FillRequestItems(d, &items);
    EXPECT_EQ(Items(items),
              (std::vector<std::string>{c.typeKey, "Config.Status.IP", "Config.Status.Gateway",
                                        "Config.Status.Netmask", "Config.Status.PrimaryDNS",
                                        "Config.Status.SecondaryDNS"}));
  }
}

TEST(DeviceConfigKeys, UpdateItemsForDhcpAndStatic) {
  DEVICE_ENTRY_T wlan = Device();
  wlan.workMac = "061A2B3C4D5E";
  device_config::NetworkSettings dhcp;
  dhcp.dhcp = true;
  dhcp.ip = "10.0.0.9";  // ignored with DHCP
  CONFIG_MODULE_T items;
  device_config::FillUpdateItems(wlan, dhcp, &items);
  EXPECT_EQ(Items(items), std::vector<std::string>{"Config.Network.WLAN.Type=0"});

  // Typed with leading zeros: sent canonical, never verbatim (a device may read them as octal).
  device_config::NetworkSettings fixed{false,           "010.0.0.09", "10.0.0.001",
                                       "255.255.255.0", "008.8.8.8",  ""};
  device_config::FillUpdateItems(Device(), fixed, &items);
  EXPECT_EQ(Items(items),
            (std::vector<std::string>{
                "Config.Network.LAN.Type=2", "Config.Network.LAN.StaticIP=10.0.0.9",
                "Config.Network.LAN.DefaultGateway=10.0.0.1",
                "Config.Network.LAN.SubnetMask=255.255.255.0",
                "Config.Network.LAN.PrimaryDNS=8.8.8.8", "Config.Network.LAN.SecondaryDNS="}));
}

TEST(DeviceConfigKeys, ReportItemsSplitAtEveryEqualsSign) {
  const auto map = device_config::ParseReportItems(
      {"a=1", "b==2", "c=", "=4", "plain", "d=5=6", "a=7", "Config.Network.WLAN.Type=2"});
  EXPECT_EQ(map, (std::map<std::string, std::string>{
                     {"a", "7"}, {"b", "2"}, {"d", "5"}, {"Config.Network.WLAN.Type", "2"}}));
  EXPECT_EQ(device_config::ReportedType(map), "2");
  // The LAN type wins whatever the interface.
  EXPECT_EQ(device_config::ReportedType(
                {{"Config.Network.WLAN.Type", "2"}, {"Config.Network.LAN.Type", "0"}}),
            "0");
  EXPECT_EQ(device_config::ReportedType({}), "");
}

TEST(NetworkInputCheck, StopsAtTheFirstBadFieldInOrder) {
  auto input = [](std::string ip, std::string gw, std::string mask, std::string dns1,
                  std::string dns2) {
    return NetworkInput{{true, ip}, {true, gw}, {true, mask}, {true, dns1}, {true, dns2}};
  };
  const struct {
    NetworkInput in;
    std::optional<NetworkField> expected;
  } cases[] = {
      {input("10.0.0.9", "10.0.0.1", "255.255.255.0", "8.8.8.8", ""), std::nullopt},
      {input("1.2.3", "x", "255.255.255.0", "8.8.8.8", ""), NetworkField::kIp},  // 5 characters
      {input("10.0.0.9", "300.0.0.1", "255.255.255.0", "8.8.8.8", ""), NetworkField::kGateway},
      {input("10.0.0.9", "10.0.0.1", "", "8.8.8.8", ""), NetworkField::kSubnetMask},
      {input("10.0.0.9", "10.0.0.1", "255.255.255.0", "", ""), NetworkField::kPrimaryDns},
      {input("10.0.0.9", "10.0.0.1", "255.255.255.0", "8.8.8.8", "8.8.4"),
       NetworkField::kSecondaryDns},
      {input(std::string(33, '1'), "", "", "", ""), NetworkField::kIp},  // 33 characters
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in.ip.text + " " + c.in.gateway.text);
    EXPECT_EQ(FirstInvalidField(c.in), c.expected);
  }
  // Fields that are not checked (disabled with DHCP) pass whatever they hold.
  EXPECT_EQ(FirstInvalidField(NetworkInput{}), std::nullopt);
  EXPECT_STREQ(InvalidFieldText(NetworkField::kPrimaryDns), "Invalid Primary DNS.");
}

TEST_F(DeviceOps, AuthenticateTiesTheAnswerToItsIdentifier) {
  CAuthenticateDispatcher waits(control);
  // A foreign answer first (another identifier), then ours at 300 ms.
  clock.SetPauseHook([&](std::chrono::milliseconds now) {
    if (now == 100ms) AnswerAuthenticate(0, "someone-else");
    if (now == 300ms) AnswerAuthenticate(0, Element(0, "UUID"));
  });
  EXPECT_EQ(device_ops::Authenticate(waits, clock, Device(), "admin", "pw", "T"),
            device_ops::AuthOutcome::kAccepted);
  EXPECT_EQ(clock.Now(), 300ms);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(std::u16string(sent[0].szIP), u"10.0.0.7");
  EXPECT_EQ(std::memcmp(sent[0].mac, kFrameMac, 6), 0);
  EXPECT_EQ(Element(0, "User"), "admin");
  EXPECT_EQ(Element(0, "Pwd"), "pw");
  EXPECT_EQ(Element(0, "UUID").size(), 32u);

  // A refusal; then one that never comes: the foreign answer does not end the wait.
  sent.clear();
  clock.SetPauseHook([&](std::chrono::milliseconds) {
    if (sent.size() == 1) AnswerAuthenticate(7, Element(0, "UUID"));
  });
  EXPECT_EQ(device_ops::Authenticate(waits, clock, Device(), "admin", "bad", "T"),
            device_ops::AuthOutcome::kRefused);
  sent.clear();
  const auto start = clock.Now();
  clock.SetPauseHook([&](std::chrono::milliseconds) { AnswerAuthenticate(0, "someone-else"); });
  int tries = 0;
  EXPECT_EQ(device_ops::Authenticate(waits, clock, Device(), "admin", "pw", "T", &tries),
            device_ops::AuthOutcome::kNoAnswer);
  EXPECT_EQ(clock.Now() - start, 5000ms);
  EXPECT_EQ(tries, 5);
  ASSERT_EQ(sent.size(), 5u);
  // Its late answer finds no wait and is dropped; nothing waits on it afterwards either.
  const std::string late = Element(0, "UUID");
  AnswerAuthenticate(0, late);
  bool accepted = false;
  EXPECT_FALSE(waits.Answered(late, &accepted));

  // Should the random source ever repeat an identifier, the next request still gets one of its
  // own, so the late answer does not count for it either.
  sent.clear();
  clock.SetPauseHook([&](std::chrono::milliseconds) { AnswerAuthenticate(0, late); });
  EXPECT_EQ(device_ops::Authenticate(waits, clock, Device(), "admin", "pw", "T"),
            device_ops::AuthOutcome::kNoAnswer);
  EXPECT_NE(Element(0, "UUID"), late);
  EXPECT_EQ(Element(0, "UUID").size(), 32u);
}

// A lossy segment: the device hears only its Nth request (or its answers to the first ones are
// lost). Authenticate and update send the same request again after 500 ms, then every second,
// until the wait's last 500 ms: five sends in the 5 s waits, the count bounded by time alone.
TEST_F(DeviceOps, RequestsAreSentAgainUntilAnswered) {
  CAuthenticateDispatcher waits(control);
  CONFIG_MODULE_T items;
  device_config::FillUpdateItems(Device(), {true, "", "", "", "", ""}, &items);
  const struct {
    size_t answeredSend;  // 0: none answered
    int tries;
    std::chrono::milliseconds updateTook;
  } cases[] = {
      {2, 2, 510ms},  {4, 4, 2510ms},
      {5, 5, 3510ms}, {6, 5, 5000ms},  // a sixth would come too late to be answered: never sent
      {0, 5, 5000ms},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.answeredSend);
    sent.clear();
    onSend = [&] {
      if (sent.size() == c.answeredSend) AnswerAuthenticate(0, Element(0, "UUID"));
    };
    int tries = 0;
    EXPECT_EQ(device_ops::Authenticate(waits, clock, Device(), "admin", "pw", "T", &tries),
              c.answeredSend == 0 || c.answeredSend > 5 ? device_ops::AuthOutcome::kNoAnswer
                                                        : device_ops::AuthOutcome::kAccepted);
    EXPECT_EQ(tries, c.tries);
    ASSERT_EQ(sent.size(), static_cast<size_t>(c.tries));
    for (size_t i = 1; i < sent.size(); ++i) EXPECT_EQ(Element(i, "UUID"), Element(0, "UUID"));

    sent.clear();
    onSend = [&] {
      if (sent.size() == c.answeredSend) Acknowledge("OK");
    };
    const auto start = clock.Now();
    const device_ops::UpdateResult r =
        device_ops::UpdateConfig(control, clock, Device(), items, "T");
    EXPECT_EQ(r.outcome, c.answeredSend == 0 || c.answeredSend > 5
                             ? device_ops::UpdateOutcome::kNoAck
                             : device_ops::UpdateOutcome::kSucceeded);
    EXPECT_EQ(r.tries, c.tries);
    EXPECT_EQ(clock.Now() - start, c.updateTook);
    ASSERT_EQ(sent.size(), static_cast<size_t>(c.tries));
    // The same packet each time (its CRC is what the wait slot matches).
    for (size_t i = 1; i < sent.size(); ++i)
      EXPECT_EQ(std::memcmp(sent[i].data, sent[0].data, sent[0].nDataLen), 0);
  }
  onSend = nullptr;
}

// The identifier comes from the system's random source: two dispatchers that remember nothing of
// each other still differ within one second, and neither is what the time-seeded generator gives.
TEST_F(DeviceOps, AuthenticateIdentifierCannotBeComputedFromTheTime) {
  CAuthenticateDispatcher first(control);
  const std::string a = first.NewIdentifier(32);
  CAuthenticateDispatcher second(control);
  const std::string b = second.NewIdentifier(32);
  EXPECT_NE(a, b);
  EXPECT_NE(a, CGlobalUtils::RandomText(32));
  EXPECT_TRUE(std::regex_match(a, std::regex("[A-Za-z0-9]{32}"))) << a;
}

TEST_F(DeviceOps, EmptyCredentialsSendNothing) {
  CAuthenticateDispatcher waits(control);
  for (auto [user, password] : {std::pair{"", "pw"}, std::pair{"admin", ""}}) {
    EXPECT_EQ(device_ops::Authenticate(waits, clock, Device(), user, password, "T"),
              device_ops::AuthOutcome::kEmptyCredentials);
  }
  EXPECT_TRUE(sent.empty());
  EXPECT_EQ(clock.Now(), 0ms);
}

TEST_F(DeviceOps, DispatcherRemovesTheCallbackAndOutlivesAWorkerCopy) {
  std::function<void(COMMON_ACK_T*)> copy;
  {
    CAuthenticateDispatcher waits(control);
    copy = control.GetAuthenticateCallback();  // what a worker holds while it calls
    ASSERT_TRUE(copy);
  }
  EXPECT_FALSE(control.GetAuthenticateCallback());
  COMMON_ACK_T ack{};
  copy(&ack);  // must not touch the destroyed dispatcher (ASan would see it)
}

TEST_F(DeviceOps, UpdateWaitsForExactlyOk) {
  CONFIG_MODULE_T items;
  device_config::FillUpdateItems(Device(), {true, "", "", "", "", ""}, &items);
  const struct {
    const char* answer;  // null: none
    bool fromOtherDevice;
    device_ops::UpdateOutcome expected;
  } cases[] = {
      {"OK", false, device_ops::UpdateOutcome::kSucceeded},
      {"ok", false, device_ops::UpdateOutcome::kAckNotOk},
      {"Failed", false, device_ops::UpdateOutcome::kAckNotOk},
      {"OK", true, device_ops::UpdateOutcome::kNoAck},
      {nullptr, false, device_ops::UpdateOutcome::kNoAck},
  };
  const uint8_t other[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x09};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.answer ? c.answer : "none");
    sent.clear();
    // The acknowledge is handled as soon as the packet leaves, before the first poll: the wait
    // must already be open.
    onSend = [&] {
      if (c.answer) c.fromOtherDevice ? Acknowledge(c.answer, other) : Acknowledge(c.answer);
    };
    const auto start = clock.Now();
    const device_ops::UpdateResult r =
        device_ops::UpdateConfig(control, clock, Device(), items, "T");
    EXPECT_EQ(r.outcome, c.expected);
    const bool noAck = c.expected == device_ops::UpdateOutcome::kNoAck;
    // Without an acknowledge the update went out five times; a wrong one ends the wait at once.
    ASSERT_EQ(sent.size(), noAck ? 5u : 1u);
    EXPECT_NE(Document(0).find("<Item>Config.Network.LAN.Type=0</Item>"), std::string::npos);
    EXPECT_EQ(clock.Now() - start, noAck ? 5000ms : 0ms);
  }
  onSend = nullptr;
}

// The device applied the first update, moved to its new static address and its acknowledge was
// lost: the resends go to the old and the new address, and the copy to the new one is answered.
TEST_F(DeviceOps, UpdateToANewAddressIsResentThereToo) {
  CONFIG_MODULE_T items;
  device_config::FillUpdateItems(
      Device(), {false, "10.0.0.9", "10.0.0.1", "255.255.255.0", "8.8.8.8", ""}, &items);
  onSend = [&] {
    if (std::u16string(sent.back().szIP) == u"10.0.0.9") Acknowledge("OK");
  };
  const device_ops::UpdateResult r = device_ops::UpdateConfig(control, clock, Device(), items, "T");
  onSend = nullptr;
  EXPECT_EQ(r.outcome, device_ops::UpdateOutcome::kSucceeded);
  EXPECT_EQ(r.tries, 2);
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(std::u16string(sent[0].szIP), u"10.0.0.7");
  EXPECT_EQ(std::u16string(sent[1].szIP), u"10.0.0.7");
  EXPECT_EQ(std::u16string(sent[2].szIP), u"10.0.0.9");
  EXPECT_EQ(std::memcmp(sent[2].mac, kFrameMac, 6), 0);
  EXPECT_EQ(std::memcmp(sent[2].data, sent[0].data, sent[0].nDataLen), 0);

  // The same address, or DHCP: nowhere else to send.
  for (const device_config::NetworkSettings& settings :
       {device_config::NetworkSettings{false, "10.0.0.7", "10.0.0.1", "255.255.255.0", "8.8.8.8",
                                       ""},
        device_config::NetworkSettings{true, "", "", "", "", ""}}) {
    sent.clear();
    device_config::FillUpdateItems(Device(), settings, &items);
    EXPECT_EQ(device_ops::UpdateConfig(control, clock, Device(), items, "T").outcome,
              device_ops::UpdateOutcome::kNoAck);
    EXPECT_EQ(sent.size(), 5u);
    for (const PACKET_RECORD_T& p : sent) EXPECT_EQ(std::u16string(p.szIP), u"10.0.0.7");
  }
}

TEST_F(DeviceOps, RemoteControlSendsTheCommandAndPauses) {
  for (const char* command : {device_ops::kCommandReboot, device_ops::kCommandReset}) {
    sent.clear();
    const auto start = clock.Now();
    EXPECT_EQ(device_ops::RemoteControl(clock, Device(), command, "T"),
              device_ops::RemoteOutcome::kSent);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(Element(0, "Type"), command);
    EXPECT_EQ(clock.Now() - start, 500ms);
  }
  // A transport that cannot send makes it a failure, not a success.
  OutboundHooks failing;
  failing.send = [](const PACKET_RECORD_T*) {};
  failing.sendFails = true;
  SetOutboundHooks(failing);
  EXPECT_EQ(device_ops::RemoteControl(clock, Device(), device_ops::kCommandReboot, "T"),
            device_ops::RemoteOutcome::kNotSent);
}

TEST_F(DeviceOps, ReadConfigCollectsThisDevicesReport) {
  const auto report = [&](const std::string& key, std::vector<std::string> items) {
    REPORT_CONFIG_T r{};
    for (size_t i = 0; i < items.size(); ++i) Utf8ToField(items[i].c_str(), r.module.szItem[i]);
    control.OnReportConfigMsg(key, "10.0.0.7", 8500, &r);
  };
  clock.SetPauseHook([&](std::chrono::milliseconds now) {
    if (now == 20ms) report("OTHER", {"Config.Status.IP=1.1.1.1"});
    if (now == 30ms) report(kKey, {"Config.Network.LAN.Type=0"});  // a poll's answer: no address
    if (now == 40ms) report(kKey, {"Config.Network.LAN.Type=2", "Config.Status.IP=10.0.0.7"});
  });
  const auto map = device_ops::ReadConfig(control, clock, Device(), 3000ms);
  ASSERT_TRUE(map.has_value());
  EXPECT_EQ(map->at("Config.Status.IP"), "10.0.0.7");
  EXPECT_EQ(map->at("Config.Network.LAN.Type"), "2");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_NE(Document(0).find("<Item>Config.Network.LAN.Type</Item>"), std::string::npos);

  // Nothing comes: the request goes out once a second until the time is up.
  clock.SetPauseHook(nullptr);
  sent.clear();
  int tries = 0;
  EXPECT_FALSE(device_ops::ReadConfig(control, clock, Device(), 3000ms, &tries).has_value());
  EXPECT_EQ(tries, 3);
  EXPECT_EQ(sent.size(), 3u);
  // The report to the third request counts.
  sent.clear();
  clock.SetPauseHook([&](std::chrono::milliseconds) {
    if (sent.size() == 3) report(kKey, {"Config.Network.LAN.Type=0", "Config.Status.IP=10.0.0.7"});
  });
  EXPECT_TRUE(device_ops::ReadConfig(control, clock, Device(), 5000ms, &tries).has_value());
  EXPECT_EQ(tries, 3);
}

}  // namespace
