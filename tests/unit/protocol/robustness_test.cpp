// Hostile input for the receive side: every parser and the header reader get truncated,
// oversized, random and malformed payloads. Buffers are sized exactly (and records sit alone on
// the heap) so that a sanitizer build catches any read or write past them.
#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "protocol/msg_facade.h"
#include "protocol/msg_handle.h"
#include "protocol_test_util.h"

namespace {

class Robustness : public ::testing::Test {
protected:
  void SetUp() override {
    // Two table keys, so that every failed parse also runs the fallback path.
    CMsgHandle::GetInstance()->SetFallbackKeySource([] {
      return std::vector<std::string>{"AABBCCDDEEFF", ""};
    });
  }
  void TearDown() override { CMsgHandle::GetInstance()->SetFallbackKeySource(nullptr); }

  // Runs a received datagram through the header reader and, when accepted, every parser in
  // several payload modes. Returns how many parses succeeded.
  int Feed(const std::vector<uint8_t>& datagram) {
    const int received = static_cast<int>(datagram.size());
    std::unique_ptr<uint8_t[]> exact(new uint8_t[received > 0 ? received : 1]);
    std::copy(datagram.begin(), datagram.end(), exact.get());
    MsgHeaderInfo info;
    if (!ReadMsgHeader(exact.get(), received, &info)) return 0;
    EXPECT_LE(info.payloadLength, received - 10);
    int parsed = 0;
    CMsgFacade* facade = CMsgFacade::GetInstance();
    for (int mode : {0, 1, 2, info.payloadMode}) {
      parsed += facade->ParseDiscoverAckMsg(exact.get(), received, discover_.get(),
                                            info.payloadLength, mode) == 0;
      parsed += facade->ParseAuthenticateAck(exact.get(), received, common_.get(), "",
                                             info.payloadLength) == 0;
      parsed += facade->ParseAckMsg(exact.get(), received, ack_.get(), "021A2B3C4D5E",
                                    info.payloadLength, mode) == 0;
      parsed += facade->ParseReportConfigMsg(exact.get(), received, report_.get(), "",
                                             info.payloadLength, mode) == 0;
    }
    ExpectTerminated();
    return parsed;
  }

  // Every text field ends inside its array whatever was parsed.
  void ExpectTerminated() {
    EXPECT_EQ(discover_->szModel[63], 0);
    EXPECT_EQ(discover_->szRTSP[127], 0);
    EXPECT_EQ(common_->szDesc[255], 0);
    EXPECT_EQ(ack_->szInfo[255], 0);
    for (const auto& item : report_->module.szItem) EXPECT_EQ(item[kConfigItemChars - 1], 0);
  }

  static std::vector<uint8_t> Datagram(uint16_t idWord, const std::vector<uint8_t>& payload,
                                       int claimed) {
    const uint8_t header[10] = {0xBC,
                                0xDE,
                                0,
                                0,
                                uint8_t(idWord & 0xFF),
                                uint8_t(idWord >> 8),
                                0,
                                10,
                                uint8_t(claimed >> 8 & 0xFF),
                                uint8_t(claimed & 0xFF)};
    std::vector<uint8_t> d(10 + payload.size());
    std::copy(header, header + 10, d.begin());
    std::copy(payload.begin(), payload.end(), d.begin() + 10);
    return d;
  }

  std::unique_ptr<DISCOVER_ACK_T> discover_ = std::make_unique<DISCOVER_ACK_T>();
  std::unique_ptr<COMMON_ACK_T> common_ = std::make_unique<COMMON_ACK_T>();
  std::unique_ptr<MSG_ACK_T> ack_ = std::make_unique<MSG_ACK_T>();
  std::unique_ptr<REPORT_CONFIG_T> report_ = std::make_unique<REPORT_CONFIG_T>();
};

TEST_F(Robustness, TruncatedAndOversizedEnvelopes) {
  const std::vector<uint8_t> doc = ReadFixture("discover_ack.xml");
  ASSERT_FALSE(doc.empty());
  const std::string text(doc.begin(), doc.end());
  for (bool prefixed : {false, true}) {
    const std::vector<uint8_t> envelope = Encrypted(text, "02A7C40000FF", prefixed);
    EXPECT_GT(Feed(Datagram(0x1121, envelope, int(envelope.size()))), 0);
    for (size_t cut = 0; cut < envelope.size(); cut += 7) {
      const std::vector<uint8_t> part(envelope.begin(), envelope.begin() + cut);
      Feed(Datagram(0x1121, part, int(cut)));  // honest, truncated envelope
      EXPECT_EQ(Feed(Datagram(0x1121, part, int(envelope.size()))), 0);  // claims more
    }
  }
  // A full datagram whose payload fills the whole packet record, and one that claims the
  // largest length the header can hold.
  std::vector<uint8_t> big(4150, '<');
  Feed(Datagram(0x1103, big, 4150));
  EXPECT_EQ(Feed(Datagram(0x1103, big, 0xFFFF)), 0);
}

TEST_F(Robustness, RandomDatagrams) {
  std::mt19937 random(20240611);
  for (int round = 0; round < 400; ++round) {
    const int length = std::uniform_int_distribution<int>(0, round % 50 == 0 ? 4160 : 200)(random);
    std::vector<uint8_t> payload(length);
    for (uint8_t& b : payload) b = uint8_t(random());
    if (round % 3 == 0 && length >= 8) std::copy_n("ozrq6600", 8, payload.begin());
    const uint16_t idWord = uint16_t(random());
    const int claimed = round % 2 ? length : int(random() & 0xFFFF);
    Feed(Datagram(idWord, payload, claimed));
    Feed(payload);  // not even a header, usually
  }
}

TEST_F(Robustness, MalformedDocuments) {
  const std::string fixtures[] = {"reply_root_lowercase.xml",
                                  "reply_without_root_element.xml",
                                  "reply_unclosed_element.xml",
                                  "reply_without_params.xml",
                                  "reply_fields_longer_than_records.xml",
                                  "report_config_40_items.xml"};
  const std::string documents[] = {
      "", "<", "<Msg", "<Msg>", "</Msg>", "<Msg/>", "<Msg><Params>", "<Msg><Params/></Msg>",
      "<Msg><Params><Item/><Item></Item><MsgSeq>-</MsgSeq></Params></Msg>",
      "<?xml version=\"1.0\"?><Msg><Params><IP>&#xFFFF;&#0;&bogus;</IP></Params></Msg>",
      "<Msg><Params><IP>\xFF\xFE\xC3</IP><Model>\xED\xA0\x80</Model></Params></Msg>",
      "<Msg><Params><Params><IP>nested</IP></Params></Params></Msg>",
      // A multi-byte lead byte right before the end of the text: the XML reader must not skip
      // over the terminator.
      "<Msg><Params><IP>abc\xF0", "<Msg><Params><IP>abc\xE2\x82", "<Msg \xF0", "<\xF0",
      "<Msg><!-- \xF0", "<Msg><Params><IP a='\xF0", "<Msg>" + std::string(3000, '<') + "</Msg>",
      std::string(2000, ' ') + "<Msg><Protocal>2.0</Protocal></Msg>"};
  std::vector<std::string> all(std::begin(documents), std::end(documents));
  for (const std::string& name : fixtures) {
    const std::vector<uint8_t> bytes = ReadFixture(name);
    ASSERT_FALSE(bytes.empty()) << name;
    all.emplace_back(bytes.begin(), bytes.end());
  }
  for (const std::string& doc : all) {
    if (doc.size() > 4150) continue;
    const std::vector<uint8_t> plain(doc.begin(), doc.end());
    Feed(Datagram(0x0903, plain, int(plain.size())));
    const std::vector<uint8_t> sealed = Encrypted(doc, "", false);
    Feed(Datagram(0x119C, sealed, int(sealed.size())));
  }
  // The overlong fixture is larger than a datagram: give it to the parsers directly.
  const std::vector<uint8_t> overlong = ReadFixture("reply_fields_longer_than_records.xml");
  CMsgHandle handle;
  EXPECT_EQ(handle.ParseAckMsg(overlong.data(), ack_.get(), "", int(overlong.size()), 0), 0);
  ExpectTerminated();
}

}  // namespace
