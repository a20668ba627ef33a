#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/control/control.h"
#include "core/control/control_outbound_hooks.h"
#include "protocol/msg_facade.h"
#include "protocol/msg_header.h"
#include "protocol/packet_record.h"
#include "protocol/payload_envelope.h"
#include "protocol/request_records.h"
#include "shell/global_utils.h"

namespace {

class Outbound : public ::testing::Test {
protected:
  void SetUp() override {
    ResetDiscoveryAlternation();
    OutboundHooks hooks;
    hooks.send = [this](const PACKET_RECORD_T* p) { sent.push_back(*p); };
    SetOutboundHooks(hooks);
  }
  void TearDown() override {
    SetOutboundHooks({});
    ResetDiscoveryAlternation();
  }

  std::string Decrypted(const PACKET_RECORD_T& p, const std::string& key) {
    MsgHeaderInfo info;
    EXPECT_TRUE(ReadMsgHeader(p.data, p.nDataLen, &info));
    std::vector<uint8_t> out(info.payloadLength + 1);
    EXPECT_EQ(DecryptPayload(p.data + kMsgHeaderLength, out.data(), static_cast<int>(out.size()),
                             key, info.payloadLength),
              0);
    return reinterpret_cast<const char*>(out.data());
  }

  CControl control;
  std::vector<PACKET_RECORD_T> sent;
};

TEST_F(Outbound, DiscoveryAlternatesEnvelopesAndGoesToTheMulticastGroup) {
  for (int i = 0; i < 3; ++i) control.MulticastDiscoveryMsg();
  ASSERT_EQ(sent.size(), 3u);
  const bool expectPrefixed[] = {false, true, false};
  for (size_t i = 0; i < sent.size(); ++i) {
    SCOPED_TRACE(i);
    const PACKET_RECORD_T& p = sent[i];
    EXPECT_EQ(std::u16string(p.szIP), u"238.8.8.1");
    const uint8_t group[6] = {0x01, 0x00, 0x5E, 0x08, 0x08, 0x01};
    EXPECT_EQ(std::memcmp(p.mac, group, 6), 0);
    EXPECT_EQ(p.nPort, 8500);
    // ID 0x120 with payload mode 2 in the little-endian ID word.
    EXPECT_EQ(p.data[4], 0x20);
    EXPECT_EQ(p.data[5], 0x11);
    const bool prefixed = std::memcmp(p.data + kMsgHeaderLength, kEnvelopeMagic, 8) == 0;
    EXPECT_EQ(prefixed, expectPrefixed[i]);
    const std::string xml = Decrypted(p, kDiscoverKeyText);
    EXPECT_NE(xml.find("<Protocal>2.0</Protocal>"), std::string::npos) << xml;
  }
}

TEST_F(Outbound, FailedDiscoveryBuildDoesNotAdvanceTheAlternation) {
  std::vector<int> encTypes;
  bool fail = false;
  OutboundHooks hooks;
  hooks.send = [this](const PACKET_RECORD_T* p) { sent.push_back(*p); };
  hooks.buildDiscover = [&](PACKET_RECORD_T* p, const DISCOVER_REQ_T* r, int encType) {
    encTypes.push_back(encType);
    return fail ? -1 : CMsgFacade::GetInstance()->BuildDiscoverMsg(p, r, encType);
  };
  SetOutboundHooks(hooks);
  control.MulticastDiscoveryMsg();  // 2
  fail = true;
  control.MulticastDiscoveryMsg();  // 3, fails: nothing sent
  control.MulticastDiscoveryMsg();  // 3 again, fails
  fail = false;
  control.MulticastDiscoveryMsg();  // 3
  control.MulticastDiscoveryMsg();  // 2
  EXPECT_EQ(encTypes, (std::vector<int>{2, 3, 3, 3, 2}));
  EXPECT_EQ(sent.size(), 3u);
}

TEST_F(Outbound, ConfigRequestsGoToTheWorkMacAndUseTheReportedMacAsKey) {
  char16_t items[kConfigItemCount][kConfigItemChars] = {};
  CGlobalUtils::Utf8ToWide("Config.Network.LAN.Type", items[0], kConfigItemChars);
  CGlobalUtils::Utf8ToWide("Config.Late.Item", items[2],
                           kConfigItemChars);  // after the first empty one
  const DEVICE_ENTRY_T device{"10.0.0.77", "02:1a:2b:3c:4d:5e", "021A2B3C4D5F", "M", "r", "1.0"};
  // The reported MAC text is the key: a device seen with the prefixed envelope gets it.
  CMsgFacade::GetInstance()->SetEnvelopeMode(device.mac, 1);
  control.SendRequestConfigMsg(&device, items);
  CGlobalUtils::Utf8ToWide("Config.Network.LAN.Type=2", items[0], kConfigItemChars);
  control.SendUpdateConfigMsg(&device, items);
  ASSERT_EQ(sent.size(), 2u);
  const uint8_t workMac[6] = {0x02, 0x1A, 0x2B, 0x3C, 0x4D, 0x5F};
  const int ids[] = {MSG_REQUEST_CONFIG, MSG_UPDATE_CONFIG};
  const char* item[] = {"Config.Network.LAN.Type<", "Config.Network.LAN.Type=2<"};
  for (size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    const PACKET_RECORD_T& p = sent[i];
    EXPECT_EQ(std::u16string(p.szIP), u"10.0.0.77");
    EXPECT_EQ(std::memcmp(p.mac, workMac, 6), 0);
    EXPECT_EQ(p.nPort, 8500);
    MsgHeaderInfo info;
    ASSERT_TRUE(ReadMsgHeader(p.data, p.nDataLen, &info));
    EXPECT_EQ(info.messageId, ids[i]);
    EXPECT_EQ(std::memcmp(p.data + kMsgHeaderLength, kEnvelopeMagic, 8), 0);
    const std::string xml = Decrypted(p, device.mac);
    EXPECT_NE(xml.find(item[i]), std::string::npos) << xml;
    EXPECT_EQ(xml.find("Config.Late.Item"), std::string::npos) << xml;
  }
}

TEST_F(Outbound, WorkMacTextIsReadPairByPair) {
  const struct {
    const char* workMac;
    uint8_t mac[6];
  } cases[] = {
      {"021A2B3C4D5E", {0x02, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}},
      {"021A2B", {0x02, 0x1A, 0x2B, 0, 0, 0}},
  };
  char16_t items[kConfigItemCount][kConfigItemChars] = {};
  CGlobalUtils::Utf8ToWide("Config.Status.IP", items[0], kConfigItemChars);
  for (const auto& c : cases) {
    sent.clear();
    const DEVICE_ENTRY_T device{"10.0.0.1", "AA", c.workMac, "", "", ""};
    control.SendRequestConfigMsg(&device, items);
    ASSERT_EQ(sent.size(), 1u) << c.workMac;
    EXPECT_EQ(std::memcmp(sent[0].mac, c.mac, 6), 0) << c.workMac;
  }
  // A colon-separated work MAC is read with its separators and gives another address.
  sent.clear();
  const DEVICE_ENTRY_T colons{"10.0.0.1", "AA", "02:1A:2B:3C:4D:5E", "", "", ""};
  control.SendRequestConfigMsg(&colons, items);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_NE(std::memcmp(sent[0].mac, cases[0].mac, 6), 0);
  // Nothing to address: nothing sent.
  sent.clear();
  control.SendRequestConfigMsg(nullptr, items);
  EXPECT_TRUE(sent.empty());
}

}  // namespace
