#include <gtest/gtest.h>

#include <cstring>

#include "protocol/msg_handle.h"
#include "protocol/text_field.h"
#include "protocol_test_util.h"

namespace {

template <size_t N>
std::string U8(const char16_t (&field)[N]) {
  return FieldToUtf8(field);
}

std::string Reply(const std::string& params, const std::string& root = "Msg") {
  return "<" + root + ">\r\n\t<Type>Ack</Type>\r\n\t<Protocal>2.0</Protocal>\r\n\t<Params>\r\n" +
         params + "\t</Params>\r\n</" + root + ">\r\n";
}

class ReplyParser : public ::testing::Test {
protected:
  void SetUp() override {
    // The parsers try the device table's keys when a reply does not parse with its own key.
    handle_.SetFallbackKeySource([this]() { return tableKeys_; });
  }

  CMsgHandle handle_;
  std::vector<std::string> tableKeys_;
};

TEST_F(ReplyParser, DiscoveryAnswerIsDecryptedOnlyFromMode2) {
  const std::vector<uint8_t> plain = ReadFixture("discover_ack.xml");
  const std::vector<uint8_t> bare = ReadFixture("discover_ack_bare.bin");
  ASSERT_FALSE(plain.empty());
  ASSERT_FALSE(bare.empty());

  DISCOVER_ACK_T ack;
  for (const auto& [bytes, mode] :
       {std::pair{plain, 0}, std::pair{plain, 1}, std::pair{bare, 2}, std::pair{bare, 7}}) {
    ASSERT_EQ(handle_.ParseDiscoverAckMsg(bytes.data(), &ack, int(bytes.size()), mode), 0)
        << "mode " << mode;
    EXPECT_EQ(ack.nMsgSeq, 42);
    EXPECT_EQ(U8(ack.szProtocal), "2.0");
    EXPECT_EQ(U8(ack.szType), "Door");
    EXPECT_EQ(U8(ack.szDeviceID), "1-1-101");
    EXPECT_EQ(U8(ack.szExtension), "-1");
    EXPECT_EQ(U8(ack.szIP), "192.0.2.10");
    EXPECT_EQ(U8(ack.szFW), "V2.1.7");
    EXPECT_EQ(U8(ack.szDeviceName), "Hall door");
    EXPECT_EQ(U8(ack.szRTSP), "rtsp://192.0.2.10/main");
    EXPECT_EQ(U8(ack.szFlag), "5");
    EXPECT_EQ(U8(ack.szDiscoverMethod), "M");
    EXPECT_EQ(U8(ack.szDeviceCode), "7");
    EXPECT_EQ(U8(ack.szMAC), "02:1a:2b:3c:4d:5e");
    EXPECT_EQ(U8(ack.szWorkMAC), "02:1A:2B:3C:4D:5F");
    EXPECT_EQ(U8(ack.szModel), "DS-100");
  }
  // The encrypted bytes with mode 1 are taken as plain text and do not parse; the plain bytes
  // with mode 2 cannot be decrypted.
  EXPECT_EQ(handle_.ParseDiscoverAckMsg(bare.data(), &ack, int(bare.size()), 1), -1);
  EXPECT_EQ(handle_.ParseDiscoverAckMsg(plain.data(), &ack, int(plain.size()), 2), -1);
}

TEST_F(ReplyParser, DecryptionThresholdsPerReply) {
  const std::string ack = Reply("\t\t<MsgID>4</MsgID>\r\n\t\t<Result>OK</Result>\r\n");
  const std::string report = Reply("\t\t<Item>Config.Status.IP=192.0.2.5</Item>\r\n");
  const std::string auth = Reply("\t\t<Result>0</Result>\r\n");
  const std::string key = "021A2B3C4D5E";
  MSG_ACK_T msgAck;
  REPORT_CONFIG_T config;
  COMMON_ACK_T common;

  // Acknowledge: plain below mode 2.
  EXPECT_EQ(handle_.ParseAckMsg(Bytes(ack).data(), &msgAck, key, int(ack.size()), 1), 0);
  EXPECT_EQ(U8(msgAck.szResult), "OK");
  const std::vector<uint8_t> ackEnc = Encrypted(ack, key, true);
  EXPECT_EQ(handle_.ParseAckMsg(ackEnc.data(), &msgAck, key, int(ackEnc.size()), 2), 0);
  EXPECT_EQ(U8(msgAck.szMsgID), "4");
  // An empty key selects the discovery identifier for acknowledges.
  const std::vector<uint8_t> ackDiscoverKey = Encrypted(ack, "02A7C40000FF", false);
  EXPECT_EQ(handle_.ParseAckMsg(ackDiscoverKey.data(), &msgAck, "", int(ackDiscoverKey.size()), 2),
            0);

  // Configuration report: decrypted from mode 1 on; an empty key selects the default key.
  const std::vector<uint8_t> reportEnc = Encrypted(report, key, false);
  EXPECT_EQ(handle_.ParseReportConfigMsg(reportEnc.data(), &config, key, int(reportEnc.size()), 1),
            0);
  EXPECT_EQ(U8(config.module.szItem[0]), "Config.Status.IP=192.0.2.5");
  EXPECT_EQ(handle_.ParseReportConfigMsg(Bytes(report).data(), &config, key, int(report.size()), 0),
            0);
  const std::vector<uint8_t> reportDefault = Encrypted(report, "", false);
  EXPECT_EQ(
      handle_.ParseReportConfigMsg(reportDefault.data(), &config, "", int(reportDefault.size()), 1),
      0);

  // Authenticate answer: always decrypted, whatever the mode; plain text does not parse.
  const std::vector<uint8_t> authEnc = Encrypted(auth, key, false);
  EXPECT_EQ(handle_.ParseAuthenticateAck(authEnc.data(), &common, key, int(authEnc.size())), 0);
  EXPECT_EQ(handle_.ParseAuthenticateAck(Bytes(auth).data(), &common, key, int(auth.size())), -1);
}

TEST_F(ReplyParser, WrongKeyFallsBackToAnotherTableDevice) {
  const std::string ack = Reply("\t\t<MsgCRC>1234</MsgCRC>\r\n\t\t<Info>done</Info>\r\n");
  const std::vector<uint8_t> sent = Encrypted(ack, "001122334455", false);
  MSG_ACK_T out;
  tableKeys_ = {"AABBCCDDEEFF"};
  EXPECT_EQ(handle_.ParseAckMsg(sent.data(), &out, "AABBCCDDEEFF", int(sent.size()), 2), -1);
  tableKeys_ = {"AABBCCDDEEFF", "001122334455", "665544332211"};
  ASSERT_EQ(handle_.ParseAckMsg(sent.data(), &out, "AABBCCDDEEFF", int(sent.size()), 2), 0);
  EXPECT_EQ(U8(out.szMsgCRC), "1234");
  EXPECT_EQ(U8(out.szInfo), "done");
  // The fallback decrypts even when the mode said plain, and for the other keyed parsers too.
  ASSERT_EQ(handle_.ParseAckMsg(sent.data(), &out, "AABBCCDDEEFF", int(sent.size()), 0), 0);
  const std::string auth = Reply("\t\t<Result>-1</Result>\r\n\t\t<Desc>bad password</Desc>\r\n");
  const std::vector<uint8_t> authSent = Encrypted(auth, "001122334455", true);
  COMMON_ACK_T common;
  ASSERT_EQ(handle_.ParseAuthenticateAck(authSent.data(), &common, "", int(authSent.size())), 0);
  EXPECT_EQ(common.nResult, -1);
  EXPECT_EQ(U8(common.szDesc), "bad password");
}

TEST_F(ReplyParser, ReportKeepsTheFirst32Items) {
  const std::vector<uint8_t> doc = ReadFixture("report_config_40_items.xml");
  ASSERT_FALSE(doc.empty());
  REPORT_CONFIG_T report;
  ASSERT_EQ(handle_.ParseReportConfigMsg(doc.data(), &report, "", int(doc.size()), 0), 0);
  EXPECT_EQ(U8(report.szProtocal), "2.0");
  // The <Note> between items 1 and 2 takes no entry.
  for (int i = 0; i < kConfigItemCount; ++i) {
    EXPECT_EQ(U8(report.module.szItem[i]),
              "Config.Test.Value" + std::to_string(i) + "=" + std::to_string(i));
  }
}

TEST_F(ReplyParser, NumbersAndTexts) {
  struct Case {
    const char* element;
    int32_t expected;
  };
  for (const Case& c :
       {Case{"<MsgSeq>0000000042</MsgSeq>", 42}, Case{"<MsgSeq></MsgSeq>", 0},
        Case{"<MsgSeq> -17abc</MsgSeq>", -17}, Case{"<MsgSeq>+5</MsgSeq>", 5},
        Case{"<MsgSeq>x1</MsgSeq>", 0}, Case{"<MsgSeq>99999999999</MsgSeq>", 2147483647},
        Case{"<MsgSeq>-99999999999</MsgSeq>", -2147483647 - 1}}) {
    const std::string doc = Reply(std::string("\t\t") + c.element + "\r\n");
    DISCOVER_ACK_T ack;
    ASSERT_EQ(handle_.ParseDiscoverAckMsg(Bytes(doc).data(), &ack, int(doc.size()), 0), 0);
    EXPECT_EQ(ack.nMsgSeq, c.expected) << c.element;
  }
  // UTF-8 text is stored as UTF-16, including characters beyond the BMP; a repeated element
  // overwrites the earlier value; entities are decoded.
  const std::string doc = Reply(
      "\t\t<DeviceName>first</DeviceName>\r\n"
      "\t\t<DeviceName>T\xC3\xBCr \xE4\xB8\xAD \xF0\x9F\x94\x94 &amp;</DeviceName>\r\n");
  DISCOVER_ACK_T ack;
  ASSERT_EQ(handle_.ParseDiscoverAckMsg(Bytes(doc).data(), &ack, int(doc.size()), 0), 0);
  EXPECT_EQ(std::u16string(ack.szDeviceName), u"T\u00FCr \u4E2D \U0001F514 &");
}

TEST_F(ReplyParser, RejectsDocumentsThatAreNotMsg) {
  for (const char* fixture : {"reply_root_lowercase.xml", "reply_without_root_element.xml",
                              "reply_unclosed_element.xml"}) {
    const std::vector<uint8_t> doc = ReadFixture(fixture);
    ASSERT_FALSE(doc.empty()) << fixture;
    MSG_ACK_T ack;
    std::memset(&ack, 0x55, sizeof(ack));
    EXPECT_EQ(handle_.ParseAckMsg(doc.data(), &ack, "K", int(doc.size()), 0), -1) << fixture;
    const MSG_ACK_T zero{};
    EXPECT_EQ(std::memcmp(&ack, &zero, sizeof(ack)), 0) << fixture;  // left all zeros
  }
  // Empty payload, null pointers.
  MSG_ACK_T ack;
  const uint8_t nothing[1] = {0};
  EXPECT_EQ(handle_.ParseAckMsg(nothing, &ack, "K", 0, 0), -1);
  EXPECT_EQ(handle_.ParseAckMsg(nothing, &ack, "K", 0, 2), -1);
  EXPECT_EQ(handle_.ParseAckMsg(nullptr, &ack, "K", 0, 0), -1);
  EXPECT_EQ(handle_.ParseReportConfigMsg(nothing, nullptr, "K", 1, 0), -1);
}

TEST_F(ReplyParser, AnswerWithoutParamsFillsOnlyTheProtocol) {
  const std::vector<uint8_t> doc = ReadFixture("reply_without_params.xml");
  DISCOVER_ACK_T ack;
  ASSERT_EQ(handle_.ParseDiscoverAckMsg(doc.data(), &ack, int(doc.size()), 0), 0);
  DISCOVER_ACK_T expected{};
  Utf8ToField("2.0", expected.szProtocal);
  EXPECT_EQ(std::memcmp(&ack, &expected, sizeof(ack)), 0);
}

TEST_F(ReplyParser, OverlongTextsAreCutInsideTheirFields) {
  const std::vector<uint8_t> doc = ReadFixture("reply_fields_longer_than_records.xml");
  ASSERT_FALSE(doc.empty());
  const std::string x255(255, 'x');
  // Each record sits alone on the heap so that a write past its end would be caught.
  auto discover = std::make_unique<DISCOVER_ACK_T>();
  ASSERT_EQ(handle_.ParseDiscoverAckMsg(doc.data(), discover.get(), int(doc.size()), 0), 0);
  EXPECT_EQ(U8(discover->szProtocal), std::string(15, 'x'));
  EXPECT_EQ(U8(discover->szRTSP), std::string(127, 'x'));
  EXPECT_EQ(U8(discover->szModel), std::string(63, 'x'));
  EXPECT_EQ(discover->szModel[63], 0);
  EXPECT_EQ(discover->nMsgSeq, 2147483647);
  auto common = std::make_unique<COMMON_ACK_T>();
  const std::vector<uint8_t> authDoc = Encrypted(std::string(doc.begin(), doc.end()), "K", false);
  ASSERT_EQ(handle_.ParseAuthenticateAck(authDoc.data(), common.get(), "K", int(authDoc.size())),
            0);
  EXPECT_EQ(U8(common->szDesc), x255);
  EXPECT_EQ(U8(common->szUUID), std::string(63, 'x'));
  auto ack = std::make_unique<MSG_ACK_T>();
  ASSERT_EQ(handle_.ParseAckMsg(doc.data(), ack.get(), "K", int(doc.size()), 0), 0);
  EXPECT_EQ(U8(ack->szInfo), x255);
  EXPECT_EQ(U8(ack->szMsgCRC), std::string(31, 'x'));
  auto report = std::make_unique<REPORT_CONFIG_T>();
  ASSERT_EQ(handle_.ParseReportConfigMsg(doc.data(), report.get(), "K", int(doc.size()), 0), 0);
  EXPECT_EQ(U8(report->module.szItem[0]), std::string(95, 'x'));
  EXPECT_EQ(report->module.szItem[1][0], 0);

  // A character that needs two UTF-16 units is not split at the end of a field.
  const std::string emoji = Reply("\t\t<Flag>abcdefghij\xF0\x9F\x94\x94</Flag>\r\n");  // 10 + 2
  DISCOVER_ACK_T flagged;
  ASSERT_EQ(handle_.ParseDiscoverAckMsg(Bytes(emoji).data(), &flagged, int(emoji.size()), 0), 0);
  EXPECT_EQ(std::u16string(flagged.szFlag), u"abcdefghij");
}

}  // namespace
