#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "core/control/control.h"
#include "protocol/discover_request.h"
#include "protocol/msg_facade.h"
#include "protocol/msg_handle.h"
#include "protocol/packet_record.h"
#include "protocol/text_field.h"
#include "protocol_test_util.h"

namespace {

std::vector<uint8_t> Head(const PACKET_RECORD_T& packet) {
  return std::vector<uint8_t>(packet.data, packet.data + 10);
}

// A received datagram: header with the given ID word and payload length, then the payload.
std::vector<uint8_t> Datagram(uint16_t idWord, const std::vector<uint8_t>& payload,
                              int claimedLength = -1, uint16_t headerLength = 10) {
  const int length = claimedLength < 0 ? int(payload.size()) : claimedLength;
  const uint8_t header[10] = {0xBC,
                              0xDE,
                              0x12,
                              0x34,
                              uint8_t(idWord & 0xFF),
                              uint8_t(idWord >> 8),
                              uint8_t(headerLength >> 8),
                              uint8_t(headerLength & 0xFF),
                              uint8_t(length >> 8),
                              uint8_t(length & 0xFF)};
  std::vector<uint8_t> d(10 + payload.size());
  std::copy(header, header + 10, d.begin());
  std::copy(payload.begin(), payload.end(), d.begin() + 10);
  return d;
}

TEST(MsgFacade, DiscoveryDatagramHeader) {
  CMsgFacade facade;
  auto packet = std::make_unique<PACKET_RECORD_T>();
  std::memset(packet.get(), 0x77, sizeof(*packet));  // the build zeroes the whole record
  const DISCOVER_REQ_T request = MakeDiscoverRequest();

  ASSERT_EQ(facade.BuildDiscoverMsg(packet.get(), &request, 2), 0);
  EXPECT_EQ(Head(*packet),
            (std::vector<uint8_t>{0xBC, 0xDE, 0x00, 0x00, 0x20, 0x11, 0x00, 0x0A, 0x01, 0x00}));
  EXPECT_EQ(packet->nDataLen, 266);
  EXPECT_EQ(packet->szIP[0], 0);
  EXPECT_EQ(packet->nPort, 0);
  EXPECT_EQ(packet->data[266], 0);
  EXPECT_EQ(packet->data[sizeof(packet->data) - 1], 0);

  ASSERT_EQ(facade.BuildDiscoverMsg(packet.get(), &request, 3), 0);
  EXPECT_EQ(packet->data[8], 0x01);
  EXPECT_EQ(packet->data[9], 0x18);
  EXPECT_EQ(packet->nDataLen, 290);
  EXPECT_EQ(std::memcmp(packet->data + 10, "ozrq6600", 8), 0);

  // What the receive side reads back from it.
  MsgHeaderInfo info;
  ASSERT_TRUE(ReadMsgHeader(packet->data, packet->nDataLen, &info));
  EXPECT_EQ(info.messageId, MSG_DISCOVER);
  EXPECT_EQ(info.payloadMode, 2);
  EXPECT_EQ(info.payloadLength, 280);
  EXPECT_EQ(info.crc, 0);
}

TEST(MsgFacade, EnvelopeModeSelectsEncTypePerExactKey) {
  CMsgFacade facade;
  auto packet = std::make_unique<PACKET_RECORD_T>();
  REPORT_CONFIG_T request{};
  Utf8ToField("2.0", request.szProtocal);
  Utf8ToField("Config.Status.IP", request.module.szItem[0]);

  // A key never seen: bare envelope, and the key is now known with mode 0.
  ASSERT_EQ(facade.BuildRequestConfigMsg(packet.get(), &request, "021A2B3C4D5E"), 0);
  EXPECT_NE(std::memcmp(packet->data + 10, "ozrq6600", 8), 0);
  EXPECT_EQ(facade.EnvelopeModes(), (std::map<std::string, int32_t>{{"021A2B3C4D5E", 0}}));

  facade.SetEnvelopeMode("021A2B3C4D5E", 1);
  struct Case {
    const char* key;
    bool prefixed;
  };
  for (const Case& c : {Case{"021A2B3C4D5E", true}, Case{"021a2b3c4d5e", false},
                        Case{"02:1A:2B:3C:4D:5E", false}}) {
    ASSERT_EQ(facade.BuildRequestConfigMsg(packet.get(), &request, c.key), 0);
    EXPECT_EQ(std::memcmp(packet->data + 10, "ozrq6600", 8) == 0, c.prefixed) << c.key;
    MsgHeaderInfo info;
    ASSERT_TRUE(ReadMsgHeader(packet->data, packet->nDataLen, &info));
    EXPECT_EQ(info.messageId, MSG_REQUEST_CONFIG);
    EXPECT_EQ(packet->nDataLen, info.payloadLength + 10);
    EXPECT_NE(Decrypted(packet->data + 10, info.payloadLength, c.key).find("Config.Status.IP"),
              std::string::npos);
  }
  EXPECT_EQ(facade.EnvelopeModes().size(), 3u);

  // Upgrade: the caller's encType unless the device speaks the prefixed envelope.
  UPGRADE_SEND_T upgrade{};
  Utf8ToField("2.0", upgrade.szProtocal);
  ASSERT_EQ(facade.BuildUpgradeSendMsg(packet.get(), &upgrade, "021A2B3C4D5E", 2), 0);
  EXPECT_EQ(std::memcmp(packet->data + 10, "ozrq6600", 8), 0);
  ASSERT_EQ(facade.BuildUpgradeSendMsg(packet.get(), &upgrade, "NEWKEY", 2), 0);
  EXPECT_NE(std::memcmp(packet->data + 10, "ozrq6600", 8), 0);
  EXPECT_EQ(facade.LookupEnvelopeMode("NEWKEY"), 0);
}

TEST(MsgFacade, EachBuildWritesItsMessageId) {
  CMsgFacade facade;
  auto packet = std::make_unique<PACKET_RECORD_T>();
  REPORT_CONFIG_T config{};
  AUTHENTICATE_REQ_T auth{};
  UPGRADE_SEND_T upgrade{};
  REMOTE_CONTROL_T remote{};
  Utf8ToField("Reboot", remote.szType);
  Utf8ToField("2.0", remote.szProtocal);
  MsgHeaderInfo info;
  const std::string key = "021A2B3C4D5E";

  ASSERT_EQ(facade.BuildUpdateConfigMsg(packet.get(), &config, key), 0);
  ASSERT_TRUE(ReadMsgHeader(packet->data, packet->nDataLen, &info));
  EXPECT_EQ(info.messageId, MSG_UPDATE_CONFIG);
  ASSERT_EQ(facade.BuildRequestAuthenticate(packet.get(), &auth, key), 0);
  ASSERT_TRUE(ReadMsgHeader(packet->data, packet->nDataLen, &info));
  EXPECT_EQ(info.messageId, MSG_AUTHENTICATE);
  ASSERT_EQ(facade.BuildUpgradeSendMsg(packet.get(), &upgrade, key, 2), 0);
  ASSERT_TRUE(ReadMsgHeader(packet->data, packet->nDataLen, &info));
  EXPECT_EQ(info.messageId, MSG_UPGRADE_SEND);
  ASSERT_EQ(facade.BuildRemoteControlMsg(packet.get(), &remote, key), 0);
  ASSERT_TRUE(ReadMsgHeader(packet->data, packet->nDataLen, &info));
  EXPECT_EQ(info.messageId, MSG_REMOTE_CONTROL);
  EXPECT_EQ(info.payloadLength, 64);  // the reboot document is exactly four blocks
  EXPECT_EQ(info.payloadMode, 2);

  EXPECT_EQ(facade.BuildRemoteControlMsg(nullptr, &remote, key), -1);
  EXPECT_EQ(facade.BuildDiscoverMsg(packet.get(), nullptr, 2), -1);
}

TEST(MsgHeader, ReadingReceivedHeaders) {
  const std::vector<uint8_t> payload(20, 'p');
  MsgHeaderInfo info;
  // ID word 0x0903: ID 259 (configuration report), mode 1.
  ASSERT_TRUE(ReadMsgHeader(Datagram(0x0903, payload).data(), 30, &info));
  EXPECT_EQ(info.messageId, 259);
  EXPECT_EQ(info.payloadMode, 1);
  EXPECT_EQ(info.payloadLength, 20);
  EXPECT_EQ(info.crc, 0x1234);
  // Bits 14 and 15 are not part of the mode; the header-length word is ignored.
  ASSERT_TRUE(ReadMsgHeader(Datagram(0xC000 | 0x1000 | 0x120, payload, -1, 99).data(), 30, &info));
  EXPECT_EQ(info.messageId, 0x120);
  EXPECT_EQ(info.payloadMode, 2);

  struct Case {
    const char* what;
    std::vector<uint8_t> datagram;
    int received;
  };
  std::vector<uint8_t> badMagic = Datagram(0x1121, payload);
  badMagic[1] = 0xDF;
  const Case refused[] = {
      {"payload longer than received", Datagram(0x1121, payload, 21), 30},
      {"received shorter than the datagram says", Datagram(0x1121, payload), 29},
      {"shorter than a header", Datagram(0x1121, {}), 9},
      {"wrong magic", badMagic, 30},
      {"negative received length", Datagram(0x1121, payload), -1},
  };
  for (const Case& c : refused) {
    EXPECT_FALSE(ReadMsgHeader(c.datagram.data(), c.received, &info)) << c.what;
  }
  EXPECT_FALSE(ReadMsgHeader(nullptr, 30, &info));
  // A payload shorter than what arrived is fine: trailing bytes are not the document's.
  EXPECT_TRUE(ReadMsgHeader(Datagram(0x1121, payload, 5).data(), 30, &info));
  EXPECT_EQ(info.payloadLength, 5);
}

TEST(MsgFacade, ParsesReceivedDatagramsWithinWhatArrived) {
  CMsgFacade facade;
  const std::string doc =
      "<Msg>\r\n\t<Protocal>2.0</Protocal>\r\n\t<Params>\r\n\t\t<Result>OK</Result>\r\n"
      "\t\t<MsgID>4</MsgID>\r\n\t</Params>\r\n</Msg>\r\n";
  const std::vector<uint8_t> envelope = Encrypted(doc, "021A2B3C4D5E", true);
  std::vector<uint8_t> d = Datagram(0x1101, envelope);
  MSG_ACK_T ack;
  ASSERT_EQ(
      facade.ParseAckMsg(d.data(), int(d.size()), &ack, "021A2B3C4D5E", int(envelope.size()), 2),
      0);
  EXPECT_EQ(std::u16string(ack.szResult), u"OK");
  // The parse only reads: the datagram is unchanged.
  EXPECT_EQ(d, Datagram(0x1101, envelope));

  // A payload length beyond the received bytes is refused before any parser sees it.
  EXPECT_EQ(facade.ParseAckMsg(d.data(), int(d.size()) - 1, &ack, "021A2B3C4D5E",
                               int(envelope.size()), 2),
            -1);
  DISCOVER_ACK_T discover;
  COMMON_ACK_T common;
  REPORT_CONFIG_T report;
  std::memset(&discover, 0x55, sizeof(discover));
  EXPECT_EQ(facade.ParseDiscoverAckMsg(d.data(), 10, &discover, 16, 2), -1);
  EXPECT_EQ(discover.nMsgSeq, 0);  // a refused datagram leaves an empty record
  EXPECT_EQ(facade.ParseAuthenticateAck(d.data(), 10, &common, "", 16), -1);
  EXPECT_EQ(facade.ParseReportConfigMsg(d.data(), 10, &report, "", -5, 1), -1);
  EXPECT_EQ(facade.ParseReportConfigMsg(nullptr, 10, &report, "", 0, 1), -1);

  // Plain discovery answer through the facade.
  const std::vector<uint8_t> answer = ReadFixture("discover_ack.xml");
  // The header-length word says 20; the payload still starts at offset 10.
  const std::vector<uint8_t> da = Datagram(0x0921, answer, -1, 20);
  MsgHeaderInfo info;
  ASSERT_TRUE(ReadMsgHeader(da.data(), int(da.size()), &info));
  ASSERT_EQ(facade.ParseDiscoverAckMsg(da.data(), int(da.size()), &discover, info.payloadLength,
                                       info.payloadMode),
            0);
  EXPECT_EQ(std::u16string(discover.szModel), u"DS-100");
}

TEST(MsgFacade, FallbackUsesTheControlCoresDeviceTable) {
  // The default fallback source is the core's device table (keys are the reported MAC texts).
  CMsgHandle::GetInstance()->SetFallbackKeySource(nullptr);
  DEVICE_ENTRY_T other;
  other.mac = "0A0B0C0D0E0F";
  other.ip = "192.0.2.99";
  CControl::GetInstance()->UpdateDevice(other);

  const std::string doc =
      "<Msg>\r\n\t<Params>\r\n\t\t<Item>Config.Status.IP=192.0.2.99</Item>\r\n\t</Params>\r\n"
      "</Msg>\r\n";
  const std::vector<uint8_t> envelope = Encrypted(doc, "0A0B0C0D0E0F", false);
  const std::vector<uint8_t> d = Datagram(0x0903, envelope);
  REPORT_CONFIG_T report;
  EXPECT_EQ(CMsgFacade::GetInstance()->ParseReportConfigMsg(
                d.data(), int(d.size()), &report, "FFFFFFFFFFFF", int(envelope.size()), 1),
            0);
  EXPECT_EQ(std::u16string(report.module.szItem[0]), u"Config.Status.IP=192.0.2.99");
  CControl::GetInstance()->RemoveDevice("0A0B0C0D0E0F");
  EXPECT_EQ(CMsgFacade::GetInstance()->ParseReportConfigMsg(
                d.data(), int(d.size()), &report, "FFFFFFFFFFFF", int(envelope.size()), 1),
            -1);
}

}  // namespace
