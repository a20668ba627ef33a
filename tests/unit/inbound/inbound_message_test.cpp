#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "inbound_fixture.h"
#include "protocol/msg_facade.h"

namespace inbound_test {
namespace {

constexpr uint8_t kMacA[6] = {0x02, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
constexpr uint8_t kMacB[6] = {0x02, 0x1A, 0x2B, 0x3C, 0x4D, 0x5F};

int Deliver(CControl& control, const PACKET_RECORD_T& record) {
  return control.OnSocketMsg(&record);
}

PACKET_RECORD_T Discovery(const std::string& xml, Envelope envelope = Envelope::kBare,
                          const uint8_t (&mac)[6] = kMacA) {
  return Received(MSG_DISCOVER_ACK, xml, kDiscoverKeyText, envelope, mac);
}

using InboundDiscovery = InboundTest;

TEST_F(InboundDiscovery, AnswerBecomesEntryWithWorkMacModelAndEnvelopeMode) {
  const struct {
    const char* name;
    std::string xml;
    Envelope envelope;
    DEVICE_ENTRY_T entry;
    const char* modeKey;
    int mode;
  } cases[] = {
      {"lower-case colon MAC, empty work MAC: both keep the text as sent",
       DiscoverDoc("02:1a:2b:3c:4d:5e", "", "10.0.0.5", "DS-1", "1.2"),
       Envelope::kBare,
       {"10.0.0.5", "02:1a:2b:3c:4d:5e", "02:1a:2b:3c:4d:5e", "DS-1", "1-1-1", "1.2"},
       "021A2B3C4D5E",
       0},
      {"prefixed envelope, work MAC compacted",
       DiscoverDoc("0A0000000001", "0a:00:00:00:00:02", "10.0.0.6", "IM", "3.4"),
       Envelope::kPrefixed,
       {"10.0.0.6", "0A0000000001", "0A0000000002", "IM", "1-1-1", "3.4"},
       "0A0000000001",
       1},
      {"empty model from the catalog by firmware prefix",
       DiscoverDoc("0A0000000003", "", "10.0.0.7", "", "29.30.1.2"),
       Envelope::kBare,
       {"10.0.0.7", "0A0000000003", "0A0000000003", "Door 29", "1-1-1", "29.30.1.2"},
       "0A0000000003",
       0},
      {"firmware starting with a dot has no model",
       DiscoverDoc("0A0000000004", "", "10.0.0.8", "", ".30"),
       Envelope::kBare,
       {"10.0.0.8", "0A0000000004", "0A0000000004", "", "1-1-1", ".30"},
       "0A0000000004",
       0},
      {"firmware without a dot has no model",
       DiscoverDoc("0A0000000005", "", "10.0.0.9", "", "abc"),
       Envelope::kPlain,
       {"10.0.0.9", "0A0000000005", "0A0000000005", "", "1-1-1", "abc"},
       "0A0000000005",
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    control.ClearDevices();
    // The opposite mode first, so the answer must really set it.
    CMsgFacade::GetInstance()->SetEnvelopeMode(c.modeKey, 1 - c.mode);
    ASSERT_EQ(Deliver(control, Discovery(c.xml, c.envelope)), 0);
    const auto devices = control.GetDeviceList();
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0], c.entry);
    EXPECT_EQ(CMsgFacade::GetInstance()->EnvelopeModes().at(c.modeKey), c.mode);
  }
}

TEST_F(InboundDiscovery, SameMacWithNewIpIsUpdatedInPlace) {
  ASSERT_EQ(Deliver(control, Discovery(DiscoverDoc("0B0000000001", "", "10.0.1.1", "M", "1.0"))),
            0);
  ASSERT_EQ(Deliver(control, Discovery(DiscoverDoc("0B0000000002", "", "10.0.1.2", "M", "1.0"))),
            0);
  // The entry is keyed by the MAC inside the answer, whatever frame address carried it.
  ASSERT_EQ(Deliver(control, Discovery(DiscoverDoc("0B0000000001", "", "10.0.1.9", "M", "2.0"),
                                       Envelope::kPrefixed, kMacB)),
            0);
  const auto devices = control.GetDeviceList();
  ASSERT_EQ(devices.size(), 2u);
  EXPECT_EQ(devices[0].mac, "0B0000000001");
  EXPECT_EQ(devices[0].ip, "10.0.1.9");
  EXPECT_EQ(devices[0].firmware, "2.0");
  EXPECT_EQ(devices[1].mac, "0B0000000002");
}

// Devices answer every discovery with the same text, and such a repeat is not read again. What
// it yields must still be exactly what reading it gives: a text that changes in one character
// (same length, same sender) is read anew, and a model from the catalog follows the catalog.
TEST_F(InboundDiscovery, RepeatedAnswersGiveWhatReadingThemGives) {
  const std::string a = DiscoverDoc("0D0000000001", "", "10.0.2.1", "", "29.1");
  const std::string b = DiscoverDoc("0D0000000001", "", "10.0.2.2", "", "29.1");
  ASSERT_EQ(a.size(), b.size());
  for (Envelope envelope : {Envelope::kBare, Envelope::kPrefixed}) {
    for (const std::string* xml : {&a, &a, &b, &b, &a}) {
      ASSERT_EQ(Deliver(control, Discovery(*xml, envelope)), 0);
      DEVICE_ENTRY_T entry;
      ASSERT_TRUE(control.FindDevice("0D0000000001", &entry));
      EXPECT_EQ(entry.ip, xml == &a ? "10.0.2.1" : "10.0.2.2");
      EXPECT_EQ(entry.model, "Door 29");
    }
  }
  // A repeat still restores what changed elsewhere meanwhile: the entry after it left the
  // table (a reboot) or the table was emptied, and the key's envelope mode after another set.
  CMsgFacade* facade = CMsgFacade::GetInstance();
  for (int round = 0; round < 2; ++round) {
    if (round == 0) control.RemoveDevice("0D0000000001");
    if (round == 1) control.ClearDevices();
    facade->SetEnvelopeMode("0D0000000001", 0);
    ASSERT_EQ(Deliver(control, Discovery(a, Envelope::kPrefixed)), 0);
    DEVICE_ENTRY_T entry;
    EXPECT_TRUE(control.FindDevice("0D0000000001", &entry)) << round;
    EXPECT_EQ(facade->EnvelopeModes().at("0D0000000001"), 1) << round;
  }
  std::ofstream(dir_ / "config" / "ModelName.ini") << "[ModelName]\n29=Renamed door\n";
  std::this_thread::sleep_for(std::chrono::milliseconds(5));  // answers see the catalog within 1 ms
  ASSERT_EQ(Deliver(control, Discovery(a)), 0);
  DEVICE_ENTRY_T entry;
  ASSERT_TRUE(control.FindDevice("0D0000000001", &entry));
  EXPECT_EQ(entry.model, "Renamed door");
}

using InboundAck = InboundTest;

TEST_F(InboundAck, WaitSlotTakesOnlyTheAwaitedDeviceAndTheLatestAck) {
  const std::string key = "021A2B3C4D5E";  // the frame address, no table entry
  auto ack = [&](const std::string& result, const uint8_t(&mac)[6] = kMacA) {
    const std::string sender = &mac[0] == &kMacA[0] ? key : "021A2B3C4D5F";
    return Received(MSG_FROM_DEVICE_ACK, AckDoc(result, "51234"), sender, Envelope::kBare, mac);
  };
  MSG_ACK_T out{};
  control.SetWaitMacAndCrc(key, 0);
  EXPECT_EQ(control.GetWaitAck(&out), -1);

  // Another device's acknowledge never reaches the slot.
  EXPECT_EQ(Deliver(control, ack("OTHER", kMacB)), 0);
  EXPECT_EQ(control.GetWaitAck(&out), -1);

  // The awaited one is taken although its CRC differs from the wait CRC; a second overwrites it.
  EXPECT_EQ(Deliver(control, ack("FIRST")), 0);
  ASSERT_EQ(control.GetWaitAck(&out), 0);
  EXPECT_EQ(Utf8(out.szResult, 32), "FIRST");
  EXPECT_EQ(Deliver(control, ack("SECOND")), 0);
  ASSERT_EQ(control.GetWaitAck(&out), 0);
  EXPECT_EQ(Utf8(out.szResult, 32), "SECOND");
  EXPECT_EQ(Utf8(out.szMsgCRC, 32), "51234");

  // An acknowledge that came before the wait was opened is lost.
  control.SetWaitMacAndCrc(key, 0);
  EXPECT_EQ(control.GetWaitAck(&out), -1);
}

TEST_F(InboundAck, ToDeviceAckUsesTheFixedKeyAndFromDeviceAckTheDeviceKey) {
  const std::string key = "021A2B3C4D5E";
  MSG_ACK_T out{};
  control.SetWaitMacAndCrc(key, 0);
  EXPECT_EQ(Deliver(control, Received(MSG_TO_DEVICE_ACK, AckDoc("TO"), kDiscoverKeyText,
                                      Envelope::kPrefixed, kMacA)),
            0);
  ASSERT_EQ(control.GetWaitAck(&out), 0);
  EXPECT_EQ(Utf8(out.szResult, 32), "TO");

  control.SetWaitMacAndCrc(key, 0);
  EXPECT_EQ(Deliver(control,
                    Received(MSG_FROM_DEVICE_ACK, AckDoc("FROM"), key, Envelope::kPrefixed, kMacA)),
            0);
  ASSERT_EQ(control.GetWaitAck(&out), 0);
  EXPECT_EQ(Utf8(out.szResult, 32), "FROM");
}

TEST_F(InboundAck, SenderFoundByWorkMacUsesTheEntrysMacAsKey) {
  // The device answers discovery with MAC ..5E but works (sends frames) from ..5F.
  ASSERT_EQ(Deliver(control, Discovery(DiscoverDoc("021A2B3C4D5E", "02:1a:2b:3c:4d:5f", "10.0.0.5",
                                                   "M", "1.0"))),
            0);
  control.SetWaitMacAndCrc("021A2B3C4D5E", 0);
  // Encrypted with the device key, not with the frame address: decoding needs the mapping.
  EXPECT_EQ(Deliver(control, Received(MSG_FROM_DEVICE_ACK, AckDoc("OK"), "021A2B3C4D5E",
                                      Envelope::kBare, kMacB)),
            0);
  MSG_ACK_T out{};
  ASSERT_EQ(control.GetWaitAck(&out), 0);
  EXPECT_EQ(Utf8(out.szResult, 32), "OK");

  RecordingNotify notify;
  ASSERT_TRUE(control.AddNotify(&notify));
  EXPECT_EQ(Deliver(control, Received(MSG_DEVICE_BOOTUP, "", "", Envelope::kPlain, kMacB)), 0);
  EXPECT_EQ(notify.bootUps, std::vector<std::string>{"021A2B3C4D5E"});
  control.RemoveNotify(&notify);
}

TEST_F(InboundAck, DeviceWithoutWorkMacIsFoundInEverySpellingOfItsMac) {
  // Without a WorkMAC the entry's work MAC is the MAC text as the device wrote it; its frames
  // come from the same address, reported as twelve upper-case digits.
  for (const std::string mac : {"02:1a:2b:3c:4d:5e", "021a2b3c4d5e", "02-1A-2B-3C-4D-5E",
                                "02:1A:2B:3C:4D:5E", "021A2B3C4D5E"}) {
    SCOPED_TRACE(mac);
    control.ClearDevices();
    ASSERT_EQ(Deliver(control, Discovery(DiscoverDoc(mac, "", "10.0.0.5", "M", "1.0"))), 0);
    control.SetWaitMacAndCrc(mac, 0);
    EXPECT_EQ(
        Deliver(control, Received(MSG_FROM_DEVICE_ACK, AckDoc("OK"), mac, Envelope::kBare, kMacA)),
        0);
    MSG_ACK_T out{};
    ASSERT_EQ(control.GetWaitAck(&out), 0);
    EXPECT_EQ(Utf8(out.szResult, 32), "OK");

    RecordingNotify notify;
    ASSERT_TRUE(control.AddNotify(&notify));
    EXPECT_EQ(Deliver(control, Received(MSG_REPORT_CONFIG, Doc("<Item>A=1</Item>"), mac,
                                        Envelope::kBare, kMacA)),
              0);
    EXPECT_EQ(Deliver(control, Received(MSG_DEVICE_BOOTUP, "", "", Envelope::kPlain, kMacA)), 0);
    control.RemoveNotify(&notify);
    ASSERT_EQ(notify.reports.size(), 1u);
    EXPECT_EQ(notify.reports[0].key, mac);
    EXPECT_EQ(notify.bootUps, std::vector<std::string>{mac});
    // The entry keeps the text the device sent.
    ASSERT_EQ(control.GetDeviceList().size(), 1u);
    EXPECT_EQ(control.GetDeviceList()[0].workMac, mac);
  }
}

using InboundNotify = InboundTest;

TEST_F(InboundNotify, ReportAndBootUpReachEachRegisteredObjectOnce) {
  RecordingNotify first;
  RecordingNotify second;
  EXPECT_TRUE(control.AddNotify(&first));
  EXPECT_FALSE(control.AddNotify(&first));
  EXPECT_TRUE(control.AddNotify(&second));

  const std::string report =
      Doc("<Item>Config.Network.LAN.Type=0</Item><Item></Item>"
          "<Item>Config.Status.IP=10.0.0.5</Item>");
  EXPECT_EQ(Deliver(control, Received(MSG_REPORT_CONFIG, report, "021A2B3C4D5E",
                                      Envelope::kPrefixed, kMacA, u"10.0.0.5", 8500)),
            0);
  EXPECT_EQ(Deliver(control, Received(MSG_DEVICE_BOOTUP, "", "", Envelope::kPlain, kMacA)), 0);

  for (const RecordingNotify* n : {&first, &second}) {
    ASSERT_EQ(n->reports.size(), 1u);
    EXPECT_EQ(n->reports[0].key, "021A2B3C4D5E");
    EXPECT_EQ(n->reports[0].ip, "10.0.0.5");
    EXPECT_EQ(n->reports[0].port, 8500);
    EXPECT_EQ(n->reports[0].items,
              (std::vector<std::string>{"Config.Network.LAN.Type=0", "Config.Status.IP=10.0.0.5"}));
    EXPECT_EQ(n->bootUps, std::vector<std::string>{"021A2B3C4D5E"});
  }
  EXPECT_TRUE(control.RemoveNotify(&first));
  EXPECT_EQ(Deliver(control, Received(MSG_DEVICE_BOOTUP, "", "", Envelope::kPlain, kMacA)), 0);
  EXPECT_EQ(first.bootUps.size(), 1u);
  EXPECT_EQ(second.bootUps.size(), 2u);
  control.RemoveNotify(&second);

  REPORT_CONFIG_T empty{};
  EXPECT_EQ(control.OnReportConfigMsg("k", nullptr, 1, &empty), -1);
  EXPECT_EQ(control.OnReportConfigMsg("k", "1.2.3.4", 1, nullptr), -1);
  EXPECT_EQ(control.OnAckMsg("k", 0, nullptr), -1);
}

// A boot-up's payload is never read, so a length word that disagrees with what arrived does not
// hide it from the windows waiting for a reboot. Other messages with such a header stay dropped.
TEST_F(InboundNotify, BootUpWithAWrongLengthWordIsStillDelivered) {
  RecordingNotify notify;
  ASSERT_TRUE(control.AddNotify(&notify));
  PACKET_RECORD_T bootUp = Received(MSG_DEVICE_BOOTUP, "", "", Envelope::kPlain, kMacA);
  reinterpret_cast<MsgHeader*>(bootUp.data)->Fill(MSG_DEVICE_BOOTUP, 1, 200);  // 0 bytes arrived
  EXPECT_EQ(Deliver(control, bootUp), 0);
  EXPECT_EQ(notify.bootUps, std::vector<std::string>{"021A2B3C4D5E"});

  PACKET_RECORD_T report =
      Received(MSG_REPORT_CONFIG, Doc("<Item>a=1</Item>"), "021A2B3C4D5E", Envelope::kPlain, kMacA);
  reinterpret_cast<MsgHeader*>(report.data)->Fill(MSG_REPORT_CONFIG, 0, 4000);
  EXPECT_EQ(Deliver(control, report), -1);
  EXPECT_TRUE(notify.reports.empty());
  bootUp.data[0] = 0;  // no magic: not a device datagram at all
  EXPECT_EQ(Deliver(control, bootUp), -1);
  EXPECT_EQ(notify.bootUps.size(), 1u);
  control.RemoveNotify(&notify);
}

TEST_F(InboundNotify, AuthenticateAnswerReachesTheCallback) {
  const std::string answer = Doc("<Result>-1</Result><UUID>tok123</UUID><Desc>bad password</Desc>");
  // No callback yet: decoded and dropped.
  EXPECT_EQ(Deliver(control,
                    Received(MSG_AUTHENTICATE_ACK, answer, "021A2B3C4D5E", Envelope::kBare, kMacA)),
            0);
  std::vector<COMMON_ACK_T> seen;
  control.SetAuthenticateCallback([&seen](COMMON_ACK_T* ack) { seen.push_back(*ack); });
  EXPECT_EQ(Deliver(control, Received(MSG_AUTHENTICATE_ACK, answer, "021A2B3C4D5E",
                                      Envelope::kPrefixed, kMacA)),
            0);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].nResult, -1);
  EXPECT_EQ(Utf8(seen[0].szUUID, 64), "tok123");
  EXPECT_EQ(Utf8(seen[0].szDesc, 256), "bad password");
  control.SetAuthenticateCallback(nullptr);
}

using InboundDropped = InboundTest;

TEST_F(InboundDropped, BadDatagramsAreRefusedAndChangeNothing) {
  // A known device and an open wait that a stray acknowledge could wrongly fill.
  ASSERT_EQ(Deliver(control, Discovery(DiscoverDoc("021A2B3C4D5E", "", "10.0.0.5", "M", "1.0"))),
            0);
  const auto before = control.GetDeviceList();
  control.SetWaitMacAndCrc("021A2B3C4D5E", 0);
  RecordingNotify notify;
  control.AddNotify(&notify);

  const PACKET_RECORD_T good =
      Received(MSG_FROM_DEVICE_ACK, AckDoc("OK"), "021A2B3C4D5E", Envelope::kBare, kMacA);
  auto modified = [](PACKET_RECORD_T record, auto change) {
    change(record);
    return record;
  };
  const struct {
    const char* name;
    PACKET_RECORD_T record;
    int result;
  } cases[] = {
      {"payload longer than what arrived",
       modified(good, [](PACKET_RECORD_T& r) { r.nDataLen -= 16; }), -1},
      {"shorter than a header", modified(good, [](PACKET_RECORD_T& r) { r.nDataLen = 6; }), -1},
      {"negative length", modified(good, [](PACKET_RECORD_T& r) { r.nDataLen = -1; }), -1},
      {"length beyond the record", modified(good, [](PACKET_RECORD_T& r) { r.nDataLen = 5000; }),
       -1},
      {"foreign: no header magic", modified(good, [](PACKET_RECORD_T& r) { r.data[0] = 0; }), -1},
      {"corrupt ciphertext",
       modified(good, [](PACKET_RECORD_T& r) { std::memset(r.data + 10, 0x5A, 64); }), -1},
      {"wrong key",
       Received(MSG_FROM_DEVICE_ACK, AckDoc("OK"), "FFFFFFFFFFFF", Envelope::kBare, kMacA), -1},
      {"corrupt discovery answer",
       modified(Discovery(DiscoverDoc("0C0000000001", "", "10.0.0.1", "M", "1")),
                [](PACKET_RECORD_T& r) { r.data[40] ^= 0xFF; }),
       -1},
      {"empty report", Received(MSG_REPORT_CONFIG, "", "021A2B3C4D5E", Envelope::kPlain, kMacA),
       -1},
      {"root element not Msg",
       Received(MSG_REPORT_CONFIG, "<msg><Params><Item>a=1</Item></Params></msg>", "021A2B3C4D5E",
                Envelope::kPlain, kMacA),
       -1},
      {"unknown message ID", Received(0x555, AckDoc("OK"), "021A2B3C4D5E", Envelope::kBare, kMacA),
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Deliver(control, c.record), c.result);
    MSG_ACK_T out{};
    EXPECT_EQ(control.GetWaitAck(&out), -1);
    EXPECT_EQ(control.GetDeviceList(), before);
    EXPECT_TRUE(notify.reports.empty());
  }
  EXPECT_EQ(control.OnSocketMsg(nullptr), -1);
  control.RemoveNotify(&notify);
  // The good record itself is taken, so the cases above failed for their fault alone.
  EXPECT_EQ(Deliver(control, good), 0);
  MSG_ACK_T out{};
  EXPECT_EQ(control.GetWaitAck(&out), 0);
}

}  // namespace
}  // namespace inbound_test
