#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "protocol/discover_request.h"
#include "protocol/msg_handle.h"
#include "protocol/text_field.h"
#include "protocol_test_util.h"

namespace {

const char kDiscoverDoc[] =
    "<Msg>\r\n"
    "\t<Type>Discover</Type>\r\n"
    "\t<Protocal>2.0</Protocal>\r\n"
    "\t<Params>\r\n"
    "\t<Type></Type>\r\n"
    "\t<DeviceID></DeviceID>\r\n"
    "\t<Extension>-1</Extension>\r\n"
    "\t<Flag>5</Flag>\r\n"
    "\t<MsgSeq>0000000000</MsgSeq>\r\n"
    "\t<SourceType>IPScanner</SourceType>\r\n"
    "\t</Params>\r\n"
    "</Msg>\r\n";

std::string Text(const uint8_t* out, int length) {
  return std::string(reinterpret_cast<const char*>(out), length);
}

class RequestBuilder : public ::testing::Test {
protected:
  CMsgHandle handle_;
  uint8_t out_[4200];
  int length_ = -1;
};

TEST_F(RequestBuilder, DiscoverDocumentInBothEnvelopes) {
  ASSERT_EQ(std::strlen(kDiscoverDoc), 241u);
  const DISCOVER_REQ_T request = MakeDiscoverRequest();

  ASSERT_EQ(handle_.BuildDiscoverMsg(out_, 4096, &request, &length_, kEncTypeBare), 0);
  EXPECT_EQ(length_, 256);
  EXPECT_NE(std::memcmp(out_, "ozrq6600", 8), 0);
  EXPECT_EQ(out_[256], 0);
  EXPECT_EQ(Decrypted(out_, length_, "02A7C40000FF"), kDiscoverDoc);

  ASSERT_EQ(handle_.BuildDiscoverMsg(out_, 4096, &request, &length_, kEncTypePrefixed), 0);
  EXPECT_EQ(length_, 280);
  EXPECT_EQ(std::memcmp(out_, "ozrq6600", 8), 0);
  EXPECT_EQ(Decrypted(out_, length_, "02A7C40000FF"), kDiscoverDoc);

  // Discovery is never sent plain, and its sequence number has at least 10 digits.
  DISCOVER_REQ_T numbered = request;
  numbered.nMsgSeq = 42;
  ASSERT_EQ(handle_.BuildDiscoverMsg(out_, 4096, &numbered, &length_, 1), 0);
  EXPECT_EQ(length_, 256);
  EXPECT_NE(Decrypted(out_, length_, "02A7C40000FF").find("\t<MsgSeq>0000000042</MsgSeq>\r\n"),
            std::string::npos);
}

TEST_F(RequestBuilder, ConfigDocumentsListItemsUpToTheFirstEmptyOne) {
  using Builder =
      int (CMsgHandle::*)(uint8_t*, int, const REPORT_CONFIG_T*, int*, const std::string&, int);
  const struct {
    Builder build;
    const char* type;
  } kinds[] = {{&CMsgHandle::BuildRequestConfigMsg, "RequestConfig"},
               {&CMsgHandle::BuildUpdateConfigMsg, "UpdateConfig"}};
  for (const auto& kind : kinds) {
    REPORT_CONFIG_T request{};
    Utf8ToField("2.0", request.szProtocal);
    Utf8ToField("Config.Network.LAN.Type=2", request.module.szItem[0]);
    Utf8ToField("Config.Network.LAN.StaticIP=192.0.2.7", request.module.szItem[1]);
    Utf8ToField("Config.Ignored", request.module.szItem[3]);  // after an empty third item
    ASSERT_EQ((handle_.*kind.build)(out_, 4096, &request, &length_, "021A2B3C4D5E", 1), 0);
    EXPECT_EQ(Text(out_, length_), std::string("<Msg>\r\n\t<Type>") + kind.type + "</Type>\r\n" +
                                       "\t<Protocal>2.0</Protocal>\r\n\t<Params>\r\n"
                                       "\t\t<Item>Config.Network.LAN.Type=2</Item>\r\n"
                                       "\t\t<Item>Config.Network.LAN.StaticIP=192.0.2.7</Item>\r\n"
                                       "\t</Params>\r\n</Msg>\r\n");
    EXPECT_EQ(out_[length_], 0);

    // No items: Params is still written, open tag directly followed by the close tag.
    REPORT_CONFIG_T empty{};
    Utf8ToField("2.0", empty.szProtocal);
    ASSERT_EQ((handle_.*kind.build)(out_, 4096, &empty, &length_, "021A2B3C4D5E", 0), 0);
    EXPECT_NE(Text(out_, length_).find("\t<Params>\r\n\t</Params>\r\n"), std::string::npos);

    // encType 2 and 3 encrypt under the device key.
    const int plainLength = length_;
    ASSERT_EQ((handle_.*kind.build)(out_, 4096, &empty, &length_, "021A2B3C4D5E", 3), 0);
    EXPECT_EQ(length_, EnvelopeLength(plainLength, true));
    EXPECT_EQ(Decrypted(out_, length_, "021a2b3c4d5e").size(), size_t(plainLength));
  }
}

TEST_F(RequestBuilder, RemoteControlDocuments) {
  REMOTE_CONTROL_T reboot{};
  Utf8ToField("2.0", reboot.szProtocal);
  Utf8ToField("Reboot", reboot.szType);
  const std::string rebootDoc =
      "<Msg>\r\n\t<Type>Reboot</Type>\r\n\t<Protocal>2.0</Protocal>\r\n</Msg>\r\n";
  ASSERT_EQ(rebootDoc.size(), 64u);
  ASSERT_EQ(handle_.BuildRemoteControlMsg(out_, 4096, &reboot, &length_, "K", 1), 0);
  EXPECT_EQ(Text(out_, length_), rebootDoc);
  ASSERT_EQ(handle_.BuildRemoteControlMsg(out_, 4096, &reboot, &length_, "K", 2), 0);
  EXPECT_EQ(length_, 64);  // a whole number of blocks gets no padding block
  EXPECT_EQ(Decrypted(out_, length_, "K"), rebootDoc);

  REMOTE_CONTROL_T withItems = reboot;
  Utf8ToField("ResetToFactory", withItems.szType);
  Utf8ToField("Keep=1", withItems.szItem[0]);
  Utf8ToField("Now", withItems.szItem[1]);
  Utf8ToField("Dropped", withItems.szItem[3]);
  ASSERT_EQ(handle_.BuildRemoteControlMsg(out_, 4096, &withItems, &length_, "K", 0), 0);
  EXPECT_EQ(Text(out_, length_),
            "<Msg>\r\n\t<Type>ResetToFactory</Type>\r\n\t<Protocal>2.0</Protocal>\r\n"
            "\t<Params>\r\n\t\t<Item>Keep=1</Item>\r\n\t\t<Item>Now</Item>\r\n\t</Params>\r\n"
            "</Msg>\r\n");
}

TEST_F(RequestBuilder, AuthenticateIsAlwaysEncrypted) {
  AUTHENTICATE_REQ_T request{};
  Utf8ToField("J\xC3\xBCrgen", request.szUser);  // non-ASCII name travels as UTF-8
  Utf8ToField("p<&>w", request.szPwd);           // verbatim, no escaping
  Utf8ToField("0123456789abcdef0123456789abcdef", request.szUUID);
  const std::string expected =
      "<Msg>\r\n\t<Type>Authenticate</Type>\r\n\t<Params>\r\n\t<Type>Web</Type>\r\n"
      "\t<User>J\xC3\xBCrgen</User>\r\n\t<Pwd>p<&>w</Pwd>\r\n"
      "\t<UUID>0123456789abcdef0123456789abcdef</UUID>\r\n\t</Params>\r\n</Msg>\r\n";
  ASSERT_EQ(handle_.BuildRequestAuthenticate(out_, 4096, &request, &length_, "021A2B3C4D5E", 1), 0);
  EXPECT_EQ(length_, EnvelopeLength(int(expected.size()), false));
  EXPECT_EQ(Decrypted(out_, length_, "021A2B3C4D5E"), expected);

  request.nUserType = 1;
  ASSERT_EQ(handle_.BuildRequestAuthenticate(out_, 4096, &request, &length_, "021A2B3C4D5E", 3), 0);
  EXPECT_EQ(std::memcmp(out_, "ozrq6600", 8), 0);
  EXPECT_NE(Decrypted(out_, length_, "021A2B3C4D5E").find("\t<Type></Type>\r\n"),
            std::string::npos);
}

TEST_F(RequestBuilder, UpgradeSendDocument) {
  UPGRADE_SEND_T request{};
  Utf8ToField("2.0", request.szProtocal);
  Utf8ToField("V2.1.8", request.szFirmwareVer);
  Utf8ToField("http://192.0.2.1:8088/download/rom/fw.rom", request.szFirmwareUrl);
  ASSERT_EQ(handle_.BuildUpgradeSendMsg(out_, 4096, &request, &length_, "K", 7), 0);
  EXPECT_EQ(Text(out_, length_),
            "<Msg>\r\n\t<Type>UpgradeSend</Type>\r\n\t<Protocal>2.0</Protocal>\r\n\t<Params>\r\n"
            "\t\t<FirmwareVer>V2.1.8</FirmwareVer>\r\n"
            "\t\t<FirmwareUrl>http://192.0.2.1:8088/download/rom/fw.rom</FirmwareUrl>\r\n"
            "\t</Params>\r\n</Msg>\r\n");
}

TEST_F(RequestBuilder, NeverWritesPastTheCapacity) {
  // 32 items of 95 three-byte characters make a document far over the payload room.
  auto request = std::make_unique<REPORT_CONFIG_T>();
  for (auto& item : request->module.szItem) {
    for (int i = 0; i < kConfigItemChars - 1; ++i) item[i] = u'\u4E2D';
  }
  std::memset(out_, 0xEE, sizeof(out_));
  EXPECT_EQ(handle_.BuildUpdateConfigMsg(out_, 4150, request.get(), &length_, "K", 2), -1);
  for (size_t i = 4150; i < sizeof(out_); ++i) ASSERT_EQ(out_[i], 0xEE);

  // A document that fits plain but whose envelope would not.
  const DISCOVER_REQ_T discover = MakeDiscoverRequest();
  std::memset(out_, 0xEE, sizeof(out_));
  EXPECT_EQ(handle_.BuildDiscoverMsg(out_, 250, &discover, &length_, 2), -1);
  for (size_t i = 250; i < sizeof(out_); ++i) ASSERT_EQ(out_[i], 0xEE);
  EXPECT_EQ(handle_.BuildDiscoverMsg(out_, 257, &discover, &length_, 2), 0);

  // A field filled to its last character has no terminator: conversion stops at the array end
  // (the record sits alone on the heap so reading past it would be caught).
  auto upgrade = std::make_unique<UPGRADE_SEND_T>();
  for (char16_t& c : upgrade->szFirmwareUrl) c = u'u';
  ASSERT_EQ(handle_.BuildUpgradeSendMsg(out_, 4096, upgrade.get(), &length_, "K", 0), 0);
  EXPECT_NE(Text(out_, length_).find("<FirmwareUrl>" + std::string(128, 'u') + "</FirmwareUrl>"),
            std::string::npos);
}

TEST_F(RequestBuilder, NullArgumentsFail) {
  const DISCOVER_REQ_T discover = MakeDiscoverRequest();
  const REPORT_CONFIG_T config{};
  const AUTHENTICATE_REQ_T auth{};
  const UPGRADE_SEND_T upgrade{};
  const REMOTE_CONTROL_T remote{};
  EXPECT_EQ(handle_.BuildDiscoverMsg(nullptr, 4096, &discover, &length_, 2), -1);
  EXPECT_EQ(handle_.BuildDiscoverMsg(out_, 4096, nullptr, &length_, 2), -1);
  EXPECT_EQ(handle_.BuildRequestConfigMsg(out_, 4096, nullptr, &length_, "K", 2), -1);
  EXPECT_EQ(handle_.BuildUpdateConfigMsg(nullptr, 4096, &config, &length_, "K", 2), -1);
  EXPECT_EQ(handle_.BuildRequestAuthenticate(out_, 4096, &auth, nullptr, "K", 2), -1);
  EXPECT_EQ(handle_.BuildUpgradeSendMsg(nullptr, 4096, &upgrade, &length_, "K", 2), -1);
  EXPECT_EQ(handle_.BuildRemoteControlMsg(out_, 0, &remote, &length_, "K", 2), -1);
}

}  // namespace
