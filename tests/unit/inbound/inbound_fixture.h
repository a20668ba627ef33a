#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/control/control.h"
#include "core/control/control_notify.h"
#include "protocol/msg_header.h"
#include "protocol/packet_record.h"
#include "protocol/payload_envelope.h"
#include "protocol/reply_records.h"
#include "shell/global_utils.h"

namespace inbound_test {

enum class Envelope { kPlain, kBare, kPrefixed };

inline std::string Doc(const std::string& params) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Msg><Type>x</Type><Protocal>2.0</Protocal>"
         "<Params>" +
         params + "</Params></Msg>";
}

inline std::string DiscoverDoc(const std::string& mac, const std::string& workMac,
                               const std::string& ip, const std::string& model,
                               const std::string& fw, const std::string& room = "1-1-1") {
  return Doc("<DeviceID>" + room + "</DeviceID><IP>" + ip + "</IP><FW>" + fw + "</FW><MAC>" + mac +
             "</MAC><WorkMAC>" + workMac + "</WorkMAC><Model>" + model + "</Model>");
}

inline std::string AckDoc(const std::string& result, const std::string& crc = "0") {
  return Doc("<MsgID>4</MsgID><MsgCRC>" + crc + "</MsgCRC><Result>" + result +
             "</Result><Info>info</Info>");
}

// A received packet record as the transport posts it: source address fields and the datagram
// (header + payload, plain or in one of the two envelopes).
inline PACKET_RECORD_T Received(int id, const std::string& xml, const std::string& key,
                                Envelope envelope, const uint8_t (&mac)[6],
                                const char16_t* ip = u"10.0.0.2", int port = 8500) {
  PACKET_RECORD_T record;
  std::memset(&record, 0, sizeof(record));
  std::u16string ipText(ip);
  std::memcpy(record.szIP, ipText.data(), ipText.size() * sizeof(char16_t));
  std::memcpy(record.mac, mac, 6);
  record.nPort = port;
  uint8_t* payload = record.data + kMsgHeaderLength;
  int length = static_cast<int>(xml.size());
  int mode = 1;  // plain: below the decrypting modes of every reply but the report
  if (envelope == Envelope::kPlain) {
    std::memcpy(payload, xml.data(), xml.size());
  } else {
    std::vector<uint8_t> text(xml.begin(), xml.end());
    text.resize(text.size() + 32, 0);
    EXPECT_EQ(EncryptPayload(text.data(), payload, kPacketDatagramBytes - kMsgHeaderLength, key,
                             &length, envelope == Envelope::kPrefixed),
              0);
    mode = 2;
  }
  reinterpret_cast<MsgHeader*>(record.data)->Fill(id, mode, static_cast<uint16_t>(length));
  record.nDataLen = kMsgHeaderLength + length;
  return record;
}

inline std::string Utf8(const char16_t* field, size_t n) {
  size_t len = 0;
  while (len < n && field[len] != 0) ++len;
  return CGlobalUtils::ToUtf8(std::u16string_view(field, len));
}

// The plain document of a packet the program built for a device keyed by `key` (bare envelope).
inline std::string SentDocument(const PACKET_RECORD_T& p, const std::string& key) {
  MsgHeaderInfo info;
  EXPECT_TRUE(ReadMsgHeader(p.data, p.nDataLen, &info));
  std::vector<uint8_t> out(static_cast<size_t>(info.payloadLength) + 1);
  EXPECT_EQ(DecryptPayload(p.data + kMsgHeaderLength, out.data(), static_cast<int>(out.size()), key,
                           info.payloadLength),
            0);
  return reinterpret_cast<const char*>(out.data());
}

// Records what the core tells it.
class RecordingNotify : public IControlNotify {
public:
  void OnReportConfig(std::string deviceKey, std::string ip, int port,
                      const std::vector<std::string>* items) override {
    reports.push_back({deviceKey, ip, port, items ? *items : std::vector<std::string>{}});
  }
  void OnDeviceBootUp(const std::string& deviceKey) override { bootUps.push_back(deviceKey); }

  struct Report {
    std::string key;
    std::string ip;
    int port;
    std::vector<std::string> items;
  };
  std::vector<Report> reports;
  std::vector<std::string> bootUps;
};

// A control core of its own per test, and a module folder whose model catalog maps 29.
class InboundTest : public ::testing::Test {
protected:
  void SetUp() override {
    dir_ = std::filesystem::path(::testing::TempDir()) /
           ("inbound_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_ / "config");
    std::ofstream(dir_ / "config" / "ModelName.ini") << "[ModelName]\n29=Door 29\n";
    CGlobalUtils::SetModuleDirForTesting(dir_.string());
  }
  void TearDown() override {
    CGlobalUtils::SetModuleDirForTesting("");
    std::filesystem::remove_all(dir_);
  }

  CControl control;
  std::filesystem::path dir_;
};

}  // namespace inbound_test
