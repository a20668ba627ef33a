#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "protocol/discover_request.h"
#include "protocol/msg_facade.h"
#include "protocol/msg_header.h"
#include "protocol/text_field.h"
#include "shell/global_utils.h"
#include "sim_documents.h"
#include "sim_engine.h"
#include "sim_fleet.h"
#include "sim_http.h"
#include "sim_loss.h"
#include "transport/udp_frame.h"

namespace {

const uint8_t kProgramMac[6] = {0xd6, 0xcc, 0xb2, 0x07, 0xeb, 0x6d};
const uint8_t kGroupMac[6] = {0x01, 0x00, 0x5e, 0x08, 0x08, 0x01};
constexpr uint32_t kProgramIp = 0x0AD50001;  // 10.213.0.1

// A frame from the program to the given address, carrying a packet record built by the facade.
std::vector<uint8_t> ProgramFrame(const PACKET_RECORD_T& packet, const uint8_t* dstMac,
                                  uint32_t dstIp) {
  FrameEndpoint from, to;
  std::memcpy(from.mac, kProgramMac, 6);
  from.ip = kProgramIp;
  from.port = kSendSourcePort;
  std::memcpy(to.mac, dstMac, 6);
  to.ip = dstIp;
  to.port = 8500;
  std::vector<uint8_t> frame(kMaxSendFrameBytes);
  frame.resize(BuildUdpFrame(from, to, 1, packet.data, packet.nDataLen, frame.data(),
                             static_cast<int>(frame.size())));
  return frame;
}

std::vector<uint8_t> DiscoverFrame(int encType) {
  const DISCOVER_REQ_T req = MakeDiscoverRequest();
  PACKET_RECORD_T packet;
  EXPECT_EQ(CMsgFacade::GetInstance()->BuildDiscoverMsg(&packet, &req, encType), 0);
  return ProgramFrame(packet, kGroupMac, 0xEE080801);
}

struct Answer {
  ParsedUdpFrame udp;
  MsgHeaderInfo header;
  bool headerOk = false;
};

Answer Read(const SimOutFrame& frame) {
  Answer a;
  EXPECT_EQ(ParseUdpFrame(frame.bytes.data(), static_cast<int>(frame.bytes.size()), &a.udp),
            FrameParseResult::kOk);
  a.headerOk = ReadMsgHeader(a.udp.payload, a.udp.payloadLength, &a.header);
  return a;
}

SimOptions Options(int count) {
  SimOptions o;
  o.count = count;
  o.seed = 5;
  return o;
}

TEST(DevsimFleet, DeterministicDistinctAndAddressable) {
  SimOptions o = Options(600);
  o.workMacDifferShare = 0.3;
  const std::vector<SimDevice> a = MakeFleet(o);
  EXPECT_EQ(FleetJson(a), FleetJson(MakeFleet(o))) << "same seed, same fleet";
  std::set<std::string> macs, workMacs, ips;
  for (const SimDevice& d : a) {
    macs.insert(CGlobalUtils::MacBytesToText(d.mac));
    workMacs.insert(CGlobalUtils::MacBytesToText(d.workMac));
    ips.insert(d.network.ip);
    EXPECT_FALSE(d.network.ip.ends_with(".0") || d.network.ip.ends_with(".255")) << d.network.ip;
    // The program addresses requests by the work MAC text, or by the MAC text when that is
    // empty: a MAC written with separators must come with a WorkMAC.
    if (d.macText.find(':') != std::string::npos || std::memcmp(d.mac, d.workMac, 6) != 0) {
      EXPECT_FALSE(d.workMacText.empty()) << d.macText;
    }
  }
  EXPECT_EQ(macs.size(), a.size());
  EXPECT_EQ(workMacs.size(), a.size());
  EXPECT_EQ(ips.size(), a.size());
}

TEST(DevsimFleet, ModelCatalogsAndEmptyModels) {
  const std::string path = ::testing::TempDir() + "devsim_models.ini";
  {
    std::ofstream out(path);
    out << "; catalog\n[Other]\n7=Not This\n[ModelName]\n12=DS-210 Door Station\n"
           "bad line\n=No Prefix\n13=\n14=a=b\n 105 = IM-700 Indoor Monitor \n";
  }
  const std::vector<SimModel> catalog = ReadModelCatalog(path);
  std::remove(path.c_str());
  ASSERT_EQ(catalog.size(), 2u);
  EXPECT_EQ(catalog[0].prefix, "12");
  EXPECT_EQ(catalog[1].prefix, "105");
  EXPECT_EQ(catalog[1].name, "IM-700 Indoor Monitor");
  EXPECT_TRUE(ReadModelCatalog("/nonexistent/ModelName.ini").empty());

  const std::vector<SimModel> list = ParseModelList("12=DS-210 Door Station, Custom Box ,");
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[1].name, "Custom Box");
  EXPECT_FALSE(list[1].prefix.empty());

  // Devices without a Model still carry the firmware prefix that the catalog maps to the name
  // the program should show.
  SimOptions o = Options(50);
  o.models = catalog;
  o.emptyModelShare = 1.0;
  for (const SimDevice& d : MakeFleet(o)) {
    EXPECT_TRUE(d.model.empty());
    const SimModel& m = d.firmware.starts_with("12.") ? catalog[0] : catalog[1];
    EXPECT_TRUE(d.firmware.starts_with(m.prefix + ".")) << d.firmware;
    EXPECT_EQ(d.expectedModel, m.name);
  }
}

TEST(DevsimEngine, DiscoveryAnsweredByEveryDeviceReadableByTheProgram) {
  SimOptions o = Options(40);
  o.envelope = SimEnvelope::kMixed;
  o.emptyModelShare = 0.5;
  SimEngine engine(o, MakeFleet(o));
  for (int encType : {2, 3}) {
    const std::vector<uint8_t> frame = DiscoverFrame(encType);
    std::vector<SimOutFrame> out;
    std::vector<SimUpgradeJob> jobs;
    engine.OnFrame(frame.data(), static_cast<int>(frame.size()), 0, &out, &jobs);
    ASSERT_EQ(out.size(), 40u);
    std::set<std::string> seen;
    for (size_t i = 0; i < out.size(); ++i) {
      const SimDevice& d = engine.Devices()[i];
      const Answer a = Read(out[i]);
      ASSERT_TRUE(a.headerOk);
      EXPECT_EQ(a.header.messageId, MSG_DISCOVER_ACK);
      EXPECT_EQ(0, std::memcmp(a.udp.srcMac, d.workMac, 6));
      EXPECT_EQ(0, std::memcmp(a.udp.dstMac, kProgramMac, 6));
      EXPECT_EQ(a.udp.dstIp, kProgramIp);
      EXPECT_EQ(a.udp.dstPort, kSendSourcePort);
      EXPECT_EQ(CGlobalUtils::IpToText(a.udp.srcIp), d.network.ip);
      EXPECT_EQ(std::memcmp(a.udp.payload + 10, "ozrq6600", 8) == 0, d.prefixed) << d.macText;
      DISCOVER_ACK_T ack;
      ASSERT_EQ(CMsgFacade::GetInstance()->ParseDiscoverAckMsg(a.udp.payload, a.udp.payloadLength,
                                                               &ack, a.header.payloadLength,
                                                               a.header.payloadMode),
                0);
      EXPECT_EQ(FieldToUtf8(ack.szMAC), d.macText);
      EXPECT_EQ(FieldToUtf8(ack.szWorkMAC), d.workMacText);
      EXPECT_EQ(FieldToUtf8(ack.szIP), d.network.ip);
      EXPECT_EQ(FieldToUtf8(ack.szModel), d.model);
      EXPECT_EQ(FieldToUtf8(ack.szFW), d.firmware);
      EXPECT_EQ(FieldToUtf8(ack.szDeviceID), d.deviceId);
      seen.insert(d.macText);
    }
    EXPECT_EQ(seen.size(), 40u);
  }
}

TEST(DevsimEngine, FaultyDevicesAnswerWrongInTheirOwnWay) {
  SimOptions o = Options(3);
  std::vector<SimDevice> fleet = MakeFleet(o);
  fleet[0].fault = SimFault::kDrop;
  fleet[1].fault = SimFault::kCorrupt;
  fleet[2].fault = SimFault::kTruncate;
  SimEngine engine(o, fleet);
  const std::vector<uint8_t> frame = DiscoverFrame(2);
  std::vector<SimOutFrame> out;
  std::vector<SimUpgradeJob> jobs;
  engine.OnFrame(frame.data(), static_cast<int>(frame.size()), 0, &out, &jobs);
  ASSERT_EQ(out.size(), 2u) << "the dropping device sends nothing";

  const Answer corrupt = Read(out[0]);
  ASSERT_TRUE(corrupt.headerOk);
  DISCOVER_ACK_T ack;
  EXPECT_NE(CMsgFacade::GetInstance()->ParseDiscoverAckMsg(
                corrupt.udp.payload, corrupt.udp.payloadLength, &ack, corrupt.header.payloadLength,
                corrupt.header.payloadMode),
            0);
  const Answer truncated = Read(out[1]);
  EXPECT_FALSE(truncated.headerOk) << "header claims more payload than the datagram holds";
}

TEST(DevsimEngine, DeviceTakesOnlyRequestsForItsAddressesWhileRunning) {
  SimOptions o = Options(2);
  o.workMacDifferShare = 1.0;
  o.rebootMs = 1000;
  SimEngine engine(o, MakeFleet(o));
  const SimDevice d = engine.Devices()[0];
  REPORT_CONFIG_T req{};
  Utf8ToField("2.0", req.szProtocal);
  Utf8ToField("Config.Status.IP", req.module.szItem[0]);
  PACKET_RECORD_T packet;
  ASSERT_EQ(CMsgFacade::GetInstance()->BuildRequestConfigMsg(&packet, &req, d.macText), 0);
  uint32_t ip = 0;
  ASSERT_TRUE(ParseIpv4(d.network.ip.c_str(), &ip));

  auto answers = [&](const uint8_t* mac, uint32_t toIp, int64_t now) {
    const std::vector<uint8_t> frame = ProgramFrame(packet, mac, toIp);
    std::vector<SimOutFrame> out;
    std::vector<SimUpgradeJob> jobs;
    engine.OnFrame(frame.data(), static_cast<int>(frame.size()), now, &out, &jobs);
    return out;
  };
  const std::vector<SimOutFrame> ok = answers(d.workMac, ip, 0);
  ASSERT_EQ(ok.size(), 1u);
  const Answer a = Read(ok[0]);
  REPORT_CONFIG_T report;
  ASSERT_EQ(CMsgFacade::GetInstance()->ParseReportConfigMsg(
                a.udp.payload, a.udp.payloadLength, &report, d.macText, a.header.payloadLength,
                a.header.payloadMode),
            0);
  EXPECT_EQ(FieldToUtf8(report.module.szItem[0]), "Config.Status.IP=" + d.network.ip);

  EXPECT_TRUE(answers(d.mac, ip, 0).empty()) << "identity MAC is not the address it works on";
  EXPECT_TRUE(answers(d.workMac, ip + 1, 0).empty()) << "another IP address";

  // Reboot: acknowledge now, boot-up when it is back, silence in between.
  REMOTE_CONTROL_T reboot{};
  Utf8ToField("2.0", reboot.szProtocal);
  Utf8ToField("Reboot", reboot.szType);
  PACKET_RECORD_T rebootPacket;
  ASSERT_EQ(CMsgFacade::GetInstance()->BuildRemoteControlMsg(&rebootPacket, &reboot, d.macText), 0);
  const std::vector<uint8_t> rebootFrame = ProgramFrame(rebootPacket, d.workMac, ip);
  std::vector<SimOutFrame> out;
  std::vector<SimUpgradeJob> jobs;
  engine.OnFrame(rebootFrame.data(), static_cast<int>(rebootFrame.size()), 100, &out, &jobs);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(Read(out[0]).header.messageId, MSG_FROM_DEVICE_ACK);
  EXPECT_EQ(out[0].dueMs, 100);
  EXPECT_EQ(Read(out[1]).header.messageId, MSG_DEVICE_BOOTUP);
  EXPECT_EQ(out[1].dueMs, 1100);
  EXPECT_TRUE(answers(d.workMac, ip, 600).empty()) << "rebooting";
  EXPECT_EQ(answers(d.workMac, ip, 1100).size(), 1u) << "back";
}

TEST(DevsimEngine, HostileFramesNeitherCrashNorAnswer) {
  SimOptions o = Options(4);
  SimEngine engine(o, MakeFleet(o));
  const SimDevice d = engine.Devices()[1];
  uint32_t ip = 0;
  ASSERT_TRUE(ParseIpv4(d.network.ip.c_str(), &ip));
  AUTHENTICATE_REQ_T auth{};
  Utf8ToField("admin", auth.szUser);
  PACKET_RECORD_T packet;
  ASSERT_EQ(CMsgFacade::GetInstance()->BuildRequestAuthenticate(&packet, &auth, d.macText), 0);
  const std::vector<std::vector<uint8_t>> seeds = {DiscoverFrame(2), DiscoverFrame(3),
                                                   ProgramFrame(packet, d.workMac, ip)};

  std::mt19937 rng(42);
  std::vector<SimOutFrame> out;
  std::vector<SimUpgradeJob> jobs;
  for (int round = 0; round < 3000; ++round) {
    std::vector<uint8_t> frame = seeds[round % seeds.size()];
    // Keep the addresses and ports (bytes 0-41) so mutations reach the header and payload,
    // except now and then.
    const size_t first = round % 10 == 0 ? 0 : 42;
    const int flips = 1 + static_cast<int>(rng() % 8);
    for (int i = 0; i < flips; ++i)
      frame[first + rng() % (frame.size() - first)] = static_cast<uint8_t>(rng());
    if (round % 7 == 0) frame.resize(rng() % frame.size());
    engine.OnFrame(frame.data(), static_cast<int>(frame.size()), 0, &out, &jobs);
  }
  // A mutated datagram either fails to decode or still reads as a request: what comes out must
  // be well-formed frames from the fleet's own addresses.
  for (const SimOutFrame& f : out) {
    ParsedUdpFrame udp;
    ASSERT_EQ(ParseUdpFrame(f.bytes.data(), static_cast<int>(f.bytes.size()), &udp),
              FrameParseResult::kOk);
    EXPECT_EQ(udp.srcPort, 8500);
  }
  EXPECT_GT(engine.Stats().undecodable, 0u);
}

// A plain request whose text ends (at its first zero byte) in a UTF-8 lead byte: the XML reader
// must stop at the end of the text, not step over the terminator into the bytes behind it (which
// here would complete the document and draw answers).
TEST(DevsimEngine, RequestEndingInUtf8LeadByteIsNotReadPastItsEnd) {
  std::ifstream in(std::string(IPS_TEST_DATA_DIR) + "/devsim/request_ends_in_utf8_lead_byte.bin",
                   std::ios::binary);
  const std::vector<uint8_t> payload((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
  ASSERT_GT(payload.size(), 20u);
  PACKET_RECORD_T packet{};
  MsgHeader header;
  header.Fill(MSG_DISCOVER, 1, static_cast<uint16_t>(payload.size()));
  std::memcpy(packet.data, &header, sizeof(header));
  std::memcpy(packet.data + kMsgHeaderLength, payload.data(), payload.size());
  packet.nDataLen = static_cast<int>(kMsgHeaderLength + payload.size());

  SimOptions o = Options(3);
  SimEngine engine(o, MakeFleet(o));
  const std::vector<uint8_t> frame = ProgramFrame(packet, kGroupMac, 0xEE080801);
  std::vector<SimOutFrame> out;
  std::vector<SimUpgradeJob> jobs;
  engine.OnFrame(frame.data(), static_cast<int>(frame.size()), 0, &out, &jobs);
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(engine.Stats().undecodable, 1u);
  EXPECT_EQ(engine.Stats().discovers, 0u);
}

TEST(DevsimConfig, UpdatesAppliedWholeOrNotAtAll) {
  struct Case {
    const char* name;
    std::vector<std::string> items;
    bool ok;
    std::string ip;  // address in use afterwards
    bool dhcp;
  } cases[] = {
      {"static via LAN keys",
       {"Config.Network.LAN.Type=2", "Config.Network.LAN.StaticIP=10.213.9.9",
        "Config.Network.LAN.SubnetMask=255.255.0.0",
        "Config.Network.LAN.DefaultGateway=10.213.0.254",
        "Config.Network.LAN.PrimaryDNS=10.213.0.253", "Config.Network.LAN.SecondaryDNS="},
       true,
       "10.213.9.9",
       false},
      {"static via WLAN keys",
       {"Config.Network.WLAN.Type=2", "Config.Network.WLAN.StaticIP=10.213.9.8",
        "Config.Network.WLAN.SubnetMask=255.255.0.0"},
       true,
       "10.213.9.8",
       false},
      {"back to DHCP", {"Config.Network.LAN.Type=0"}, true, "10.213.1.100", true},
      {"bad address",
       {"Config.Network.LAN.Type=2", "Config.Network.LAN.StaticIP=10.213.9.300",
        "Config.Network.LAN.SubnetMask=255.255.0.0"},
       false,
       "10.213.1.100",
       true},
      {"empty primary DNS", {"Config.Network.LAN.PrimaryDNS="}, false, "10.213.1.100", true},
      {"unknown type", {"Config.Network.LAN.Type=1"}, false, "10.213.1.100", true},
      {"static without address", {"Config.Network.LAN.Type=2"}, false, "10.213.1.100", true},
      {"status is read-only", {"Config.Status.IP=10.213.9.9"}, false, "10.213.1.100", true},
      {"item without value", {"Config.Network.LAN.Type"}, false, "10.213.1.100", true},
  };
  for (const Case& c : cases) {
    SimOptions o = Options(1);
    o.staticShare = 0.0;
    SimDevice d = MakeFleet(o)[0];
    std::string reason;
    EXPECT_EQ(ApplyConfigItems(&d, c.items, &reason), c.ok) << c.name << ": " << reason;
    EXPECT_EQ(d.network.ip, c.ip) << c.name;
    EXPECT_EQ(d.network.dhcp, c.dhcp) << c.name;
    std::string type;
    ASSERT_TRUE(ReadConfigItem(d, "Config.Network.WLAN.Type", &type));
    EXPECT_EQ(type, c.dhcp ? "0" : "2") << c.name;
  }
}

TEST(DevsimConfig, UpdateFaultsAnswerWithoutApplying) {
  for (const bool ignore : {false, true}) {
    SCOPED_TRACE(ignore ? "ignore" : "result ok");
    SimOptions o = Options(1);
    o.staticShare = 0.0;
    o.updateResult = ignore ? "" : "ok";
    o.ignoreUpdates = ignore;
    SimEngine engine(o, MakeFleet(o));
    const SimDevice d = engine.Devices()[0];
    REPORT_CONFIG_T req{};
    Utf8ToField("2.0", req.szProtocal);
    Utf8ToField("Config.Network.LAN.Type=2", req.module.szItem[0]);
    Utf8ToField("Config.Network.LAN.StaticIP=10.213.9.9", req.module.szItem[1]);
    Utf8ToField("Config.Network.LAN.SubnetMask=255.255.0.0", req.module.szItem[2]);
    PACKET_RECORD_T packet;
    ASSERT_EQ(CMsgFacade::GetInstance()->BuildUpdateConfigMsg(&packet, &req, d.macText), 0);
    uint32_t ip = 0;
    ASSERT_TRUE(ParseIpv4(d.network.ip.c_str(), &ip));
    const std::vector<uint8_t> frame = ProgramFrame(packet, d.workMac, ip);
    std::vector<SimOutFrame> out;
    std::vector<SimUpgradeJob> jobs;
    engine.OnFrame(frame.data(), static_cast<int>(frame.size()), 0, &out, &jobs);
    EXPECT_EQ(engine.Devices()[0].network.ip, d.network.ip) << "nothing applied";
    if (ignore) {
      EXPECT_TRUE(out.empty());
      continue;
    }
    ASSERT_EQ(out.size(), 1u);
    const Answer a = Read(out[0]);
    MSG_ACK_T ack{};
    ASSERT_EQ(
        CMsgFacade::GetInstance()->ParseAckMsg(a.udp.payload, a.udp.payloadLength, &ack, d.macText,
                                               a.header.payloadLength, a.header.payloadMode),
        0);
    EXPECT_EQ(FieldToUtf8(ack.szResult), "ok");
  }
}

TEST(DevsimHttp, UrlsAndAllowedHosts) {
  struct Case {
    const char* url;
    bool parses;
    const char* host;
    int port;
    const char* path;
    bool allowed;
  } cases[] = {
      {"http://10.213.0.1:8088/download/rom/a.bin", true, "10.213.0.1", 8088, "/download/rom/a.bin",
       true},
      {"http://127.0.0.1/x", true, "127.0.0.1", 80, "/x", true},
      {"http://10.213.0.1", true, "10.213.0.1", 80, "/", true},
      {"http://192.168.1.5:8088/a", true, "192.168.1.5", 8088, "/a", false},
      {"http://10.214.0.1/a", true, "10.214.0.1", 80, "/a", false},
      {"https://10.213.0.1/a", false, "", 0, "", false},
      {"http://server.example/a", false, "", 0, "", false},
      {"http://10.213.0.1:99999/a", false, "", 0, "", false},
      {"http://10.213.0.1:/a", false, "", 0, "", false},
  };
  for (const Case& c : cases) {
    SimUrl url;
    ASSERT_EQ(ParseHttpUrl(c.url, &url), c.parses) << c.url;
    if (!c.parses) continue;
    EXPECT_EQ(url.host, c.host) << c.url;
    EXPECT_EQ(url.port, c.port) << c.url;
    EXPECT_EQ(url.path, c.path) << c.url;
    EXPECT_EQ(IsAllowedDownloadHost(url.host), c.allowed) << c.url;
  }
}

TEST(DevsimHttp, DownloadOverLoopback) {
  SimHttpServer image;
  ASSERT_TRUE(image.Start("127.0.0.1", 0, std::string(100000, 'F')));
  size_t bytes = 0;
  std::string error;
  const std::string base = "http://127.0.0.1:" + std::to_string(image.Port());
  EXPECT_TRUE(HttpDownload(base + "/download/rom/a.bin", 2000, &bytes, &error)) << error;
  EXPECT_EQ(bytes, 100000u);

  SimHttpServer missing;
  ASSERT_TRUE(missing.Start("127.0.0.1", 0, ""));
  EXPECT_FALSE(HttpDownload("http://127.0.0.1:" + std::to_string(missing.Port()) + "/a", 2000,
                            &bytes, &error));
  EXPECT_NE(error.find("404"), std::string::npos) << error;

  // A connection that ends before the announced length is not a whole image.
  SimHttpServer cut;
  ASSERT_TRUE(cut.Start("127.0.0.1", 0, std::string(100000, 'F')));
  cut.CutBodyBy(1);
  EXPECT_FALSE(
      HttpDownload("http://127.0.0.1:" + std::to_string(cut.Port()) + "/a", 2000, &bytes, &error));
  EXPECT_NE(error.find("99999 of 100000"), std::string::npos) << error;

  const int before = image.Requests();
  EXPECT_FALSE(HttpDownload("http://192.168.1.5:" + std::to_string(image.Port()) + "/a", 2000,
                            &bytes, &error));
  EXPECT_EQ(image.Requests(), before);
}

}  // namespace

TEST(DevsimEngine, MutedDevicesIgnoreOnlyConfigurationRequests) {
  SimOptions o = Options(200);
  o.muteConfigCount = 20;
  SimEngine engine(o, MakeFleet(o));
  int muted = 0;
  for (const SimDevice& d : engine.Devices()) muted += d.muteConfig ? 1 : 0;
  EXPECT_EQ(muted, 20);
  ASSERT_TRUE(engine.Devices()[0].muteConfig);
  ASSERT_FALSE(engine.Devices()[1].muteConfig);

  for (int index : {0, 1}) {
    const SimDevice d = engine.Devices()[index];
    REPORT_CONFIG_T req{};
    Utf8ToField("2.0", req.szProtocal);
    Utf8ToField("Config.Network.LAN.Type", req.module.szItem[0]);
    PACKET_RECORD_T packet;
    ASSERT_EQ(CMsgFacade::GetInstance()->BuildRequestConfigMsg(&packet, &req, d.macText), 0);
    uint32_t ip = 0;
    ASSERT_TRUE(ParseIpv4(d.network.ip.c_str(), &ip));
    const std::vector<uint8_t> frame = ProgramFrame(packet, d.workMac, ip);
    std::vector<SimOutFrame> out;
    std::vector<SimUpgradeJob> jobs;
    engine.OnFrame(frame.data(), static_cast<int>(frame.size()), 0, &out, &jobs);
    EXPECT_EQ(out.size(), d.muteConfig ? 0u : 1u) << d.macText;
  }
  // Discovery is still answered by every device.
  const std::vector<uint8_t> discover = DiscoverFrame(2);
  std::vector<SimOutFrame> out;
  std::vector<SimUpgradeJob> jobs;
  engine.OnFrame(discover.data(), static_cast<int>(discover.size()), 0, &out, &jobs);
  EXPECT_EQ(out.size(), 200u);
}

// --loss: the share holds, the same seed loses the same frames, bursts come in runs.
TEST(SimLossTest, SharesSeedsAndBursts) {
  constexpr int kFrames = 20000;
  auto pattern = [](double share, uint32_t seed, int burst) {
    SimLoss loss(share, seed, burst);
    std::vector<bool> lost(kFrames);
    for (int i = 0; i < kFrames; ++i) lost[i] = loss.Drop();
    return lost;
  };
  for (const auto& [share, burst] :
       std::vector<std::pair<double, int>>{{0.05, 1}, {0.2, 1}, {0.2, 5}}) {
    SCOPED_TRACE(testing::Message() << share << " burst " << burst);
    const std::vector<bool> lost = pattern(share, 7, burst);
    const double measured =
        static_cast<double>(std::count(lost.begin(), lost.end(), true)) / kFrames;
    EXPECT_NEAR(measured, share, share * 0.15);
    EXPECT_EQ(lost, pattern(share, 7, burst));
    EXPECT_NE(lost, pattern(share, 8, burst));
    // Every run of lost frames is a whole number of bursts.
    int run = 0;
    for (int i = 0; i < kFrames - burst; ++i) {
      if (lost[i]) {
        ++run;
      } else if (run > 0) {
        EXPECT_EQ(run % burst, 0) << "at frame " << i;
        run = 0;
      }
    }
  }
  // The two directions lose different frames from one seed.
  EXPECT_NE(pattern(0.2, 7, 1), pattern(0.2, SendLossSeed(7), 1));
  const std::vector<bool> none = pattern(0.0, 7, 3);
  EXPECT_EQ(std::count(none.begin(), none.end(), true), 0);
}

TEST(SimLossTest, ParsesShareAndSeed) {
  struct Case {
    const char* text;
    bool ok;
    double share;
    uint32_t seed;
  };
  const Case cases[] = {
      {"0.05", true, 0.05, 42},
      {"0.2,9", true, 0.2, 9},
      {"0,0", true, 0.0, 0},
      {"1", false, 0, 0},
      {"-0.1", false, 0, 0},
      {"0.1,", false, 0, 0},
      {"0.1,x", false, 0, 0},
      {"abc", false, 0, 0},
      {"", false, 0, 0},
      {"0.1,-3", false, 0, 0},
      {"0.1,4294967296", false, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    double share = -1;
    uint32_t seed = 0;
    std::string error;
    EXPECT_EQ(ParseLossOption(c.text, 42, &share, &seed, &error), c.ok);
    if (c.ok) {
      EXPECT_DOUBLE_EQ(share, c.share);
      EXPECT_EQ(seed, c.seed);
    } else {
      EXPECT_NE(error.find("--loss"), std::string::npos);
    }
  }
}
