#include "core/upgrade/upgrade_request.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/control/control_outbound_hooks.h"
#include "core/upgrade/upgrade_image_store.h"
#include "protocol/msg_header.h"
#include "protocol/packet_record.h"
#include "protocol/payload_envelope.h"
#include "protocol/text_field.h"
#include "shell/global_utils.h"

namespace fs = std::filesystem;

namespace {

TEST(ImageVersion, IsTheFileNameWithoutItsLastExtension) {
  const struct {
    const char* name;
    const char* version;
  } cases[] = {
      {"29.30.1.2.rom", "29.30.1.2"},
      {"105.40.1.1.zip", "105.40.1.1"},
      {"C:\\images\\12.31.1.1.rom", "12.31.1.1"},
      {"/tmp/fw.d/12.31.1.1.rom", "12.31.1.1"},
      {"a\\b/c.d.e", "c.d"},
      {"firmware", ""},       // no '.': empty version
      {"fw.d/firmware", ""},  // the '.' of a folder does not count
      {".rom", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ImageVersion(c.name), c.version) << c.name;
}

TEST(UpgradeRequest, FieldsTakeOnlyTextsShorterThanTheField) {
  UPGRADE_SEND_T r = MakeUpgradeRequest("10.213.0.1", "29.30.1.2.rom");
  EXPECT_EQ(FieldToUtf8(r.szProtocal), "2.0");
  EXPECT_EQ(FieldToUtf8(r.szFirmwareVer), "29.30.1.2");
  EXPECT_EQ(FieldToUtf8(r.szFirmwareUrl), "http://10.213.0.1:8088/download/rom/29.30.1.2.rom");

  // 15 characters fit the 16-character field; 16 leave it empty.
  EXPECT_EQ(FieldToUtf8(MakeUpgradeRequest("h", "123456789012345.rom").szFirmwareVer),
            "123456789012345");
  r = MakeUpgradeRequest("h", "1234567890123456.rom");
  EXPECT_EQ(FieldToUtf8(r.szFirmwareVer), "");
  EXPECT_EQ(FieldToUtf8(r.szFirmwareUrl), "http://h:8088/download/rom/1234567890123456.rom");

  EXPECT_EQ(FieldToUtf8(MakeUpgradeRequest("h", "firmware").szFirmwareVer), "");

  // The address: 127 characters fit, 128 leave the field empty.
  const std::string base = CGlobalUtils::FirmwareUrl("10.213.0.1", "");
  const std::string fits(127 - base.size() - 4, 'a');
  EXPECT_EQ(FieldToUtf8(MakeUpgradeRequest("10.213.0.1", fits + ".rom").szFirmwareUrl).size(),
            127u);
  EXPECT_EQ(FieldToUtf8(MakeUpgradeRequest("10.213.0.1", fits + "b.rom").szFirmwareUrl), "");
}

TEST(UpgradeRequest, ImageNameIsPercentEncodedInTheAddress) {
  const struct {
    const char* name;
    const char* url;
  } cases[] = {
      {"105.40.1.1.rom", "http://h:8088/download/rom/105.40.1.1.rom"},
      {"my image 1.rom", "http://h:8088/download/rom/my%20image%201.rom"},
      {"a#b?c.rom", "http://h:8088/download/rom/a%23b%3Fc.rom"},
      // '<' and '&' would otherwise end the address element of the request document.
      {"a</FirmwareUrl><X>&.rom", "http://h:8088/download/rom/a%3C%2FFirmwareUrl%3E%3CX%3E%26.rom"},
      {"\xC3\xA9_~-.rom", "http://h:8088/download/rom/%C3%A9_~-.rom"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(UpgradeImageUrl("h", c.name), c.url) << c.name;
    EXPECT_EQ(FieldToUtf8(MakeUpgradeRequest("h", c.name).szFirmwareUrl), c.url) << c.name;
  }
}

class SendUpgrade : public ::testing::Test {
protected:
  void SetUp() override {
    OutboundHooks hooks;
    hooks.send = [this](const PACKET_RECORD_T* p) { sent.push_back(*p); };
    SetOutboundHooks(hooks);
  }
  void TearDown() override { SetOutboundHooks({}); }

  static std::string Document(const PACKET_RECORD_T& p, const std::string& key) {
    MsgHeaderInfo info;
    EXPECT_TRUE(ReadMsgHeader(p.data, p.nDataLen, &info));
    EXPECT_EQ(info.messageId, MSG_UPGRADE_SEND);
    std::vector<uint8_t> out(info.payloadLength + 1);
    EXPECT_EQ(DecryptPayload(p.data + kMsgHeaderLength, out.data(), static_cast<int>(out.size()),
                             key, info.payloadLength),
              0);
    return reinterpret_cast<const char*>(out.data());
  }

  std::vector<PACKET_RECORD_T> sent;
};

TEST_F(SendUpgrade, GoesToTheWorkMacElseTheMacEncryptedWithTheMac) {
  DEVICE_ENTRY_T device;
  device.ip = "10.213.1.7";
  device.mac = "021A2B000007";
  device.workMac = "061A2B000007";
  ASSERT_TRUE(SendUpgradeMsg(device, "10.213.0.1", "105.40.1.1.rom"));
  device.workMac.clear();
  ASSERT_TRUE(SendUpgradeMsg(device, "10.213.0.1", "105.40.1.1.rom"));
  ASSERT_EQ(sent.size(), 2u);

  const uint8_t work[6] = {0x06, 0x1A, 0x2B, 0x00, 0x00, 0x07};
  const uint8_t mac[6] = {0x02, 0x1A, 0x2B, 0x00, 0x00, 0x07};
  EXPECT_EQ(std::memcmp(sent[0].mac, work, 6), 0);
  EXPECT_EQ(std::memcmp(sent[1].mac, mac, 6), 0);
  for (const PACKET_RECORD_T& p : sent) {
    EXPECT_EQ(FieldToUtf8(p.szIP), "10.213.1.7");
    EXPECT_EQ(p.nPort, 8500);
    const std::string xml = Document(p, device.mac);
    EXPECT_NE(xml.find("<Type>UpgradeSend</Type>"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<FirmwareVer>105.40.1.1</FirmwareVer>"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<FirmwareUrl>http://10.213.0.1:8088/download/rom/105.40.1.1.rom"
                       "</FirmwareUrl>"),
              std::string::npos)
        << xml;
  }
}

TEST_F(SendUpgrade, AnAddressTooLongForItsFieldIsRefusedBeforeAnythingIsSent) {
  DEVICE_ENTRY_T device;
  device.ip = "10.213.1.7";
  device.mac = "021A2B000007";
  // Fits as typed, but its encoded spaces make the address too long.
  const std::string base = CGlobalUtils::FirmwareUrl("10.213.0.1", "");
  const std::string name = std::string(kMaxUpgradeUrlChars - base.size() - 6, 'a') + " .rom";
  EXPECT_EQ(name.size() + base.size(), kMaxUpgradeUrlChars - 1);
  EXPECT_FALSE(UpgradeUrlFits("10.213.0.1", name));
  EXPECT_FALSE(SendUpgradeMsg(device, "10.213.0.1", name));
  EXPECT_TRUE(sent.empty());
  EXPECT_TRUE(UpgradeUrlFits("10.213.0.1", std::string(name).replace(name.size() - 5, 1, "b")));
}

class ModuleFolder : public ::testing::Test {
protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("ips-upgrade-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "config");
    CGlobalUtils::SetModuleDirForTesting(dir.string());
  }
  void TearDown() override {
    CGlobalUtils::SetModuleDirForTesting("");
    fs::remove_all(dir);
  }
  static void Write(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
  static std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  fs::path dir;
};

TEST_F(ModuleFolder, UpgradeHostIsTheFirstAddressOfTheIpSettingElseTheFirstAdapters) {
  // Pieces split at U+3001; empty pieces are dropped.
  ASSERT_TRUE(CGlobalUtils::WriteNetConnSetting("IP",
                                                "\xE3\x80\x81"
                                                "10.213.0.7"
                                                "\xE3\x80\x81"
                                                "10.213.0.8"));
  EXPECT_EQ(GetUpgradeHost(), "10.213.0.7");

  ASSERT_TRUE(CGlobalUtils::WriteNetConnSetting("IP", ""));
  const std::vector<AdapterEntry> adapters = CGlobalUtils::GetAdapters();
  if (!adapters.empty() && !adapters.front().ipAddresses.empty()) {
    EXPECT_EQ(GetUpgradeHost(), adapters.front().ipAddresses.front());
  } else {
    EXPECT_EQ(GetUpgradeHost(), CGlobalUtils::GetLocalIP());
  }
}

TEST_F(ModuleFolder, StoredImageReplacesOneOfTheSameName) {
  fs::create_directories(dir / "other");
  Write(dir / "other" / "12.31.1.1.rom", "new image, longer");
  Write(dir / "12.31.1.1.rom", "old image");
  std::string error;
  ASSERT_EQ(StoreUpgradeImage((dir / "12.31.1.1.rom").string(), &error), "12.31.1.1.rom") << error;
  EXPECT_EQ(Read(dir / "Download/Rom/12.31.1.1.rom"), "old image");
  ASSERT_EQ(StoreUpgradeImage((dir / "other" / "12.31.1.1.rom").string(), &error), "12.31.1.1.rom")
      << error;
  EXPECT_EQ(Read(dir / "Download/Rom/12.31.1.1.rom"), "new image, longer");

  // The copy already in the download folder, chosen again, stays whole.
  ASSERT_EQ(StoreUpgradeImage((dir / "Download/Rom/12.31.1.1.rom").string(), &error),
            "12.31.1.1.rom");
  EXPECT_EQ(Read(dir / "Download/Rom/12.31.1.1.rom"), "new image, longer");

  EXPECT_EQ(StoreUpgradeImage((dir / "missing.rom").string(), &error), "");
  EXPECT_FALSE(error.empty());
  RemoveUpgradeImage("12.31.1.1.rom");
  EXPECT_FALSE(fs::exists(dir / "Download/Rom/12.31.1.1.rom"));
}

}  // namespace
