// Cost of one discovery answer on the control core's worker thread (OnSocketMsg: decrypt,
// parse, table update) at 20,000 devices, with the live status tracking and without it, in one
// run; the answers rotate over the whole fleet so every hash lookup is a real one. Also the
// once-a-second work of a front end: a status snapshot and the site problems over the table.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/control/control.h"
#include "core/site/site_problems.h"
#include "protocol/msg_header.h"
#include "protocol/packet_record.h"
#include "protocol/payload_envelope.h"
#include "shell/comm_control.h"

namespace {

constexpr int kFleet = 20000;
constexpr int kRecords = 512;  // distinct answers cycled through

std::string MacText(int i) {
  char text[13];
  std::snprintf(text, sizeof(text), "02%010X", i);
  return text;
}

std::string IpText(int i) {
  return "10.213." + std::to_string(1 + i / 250) + "." + std::to_string(1 + i % 250);
}

PACKET_RECORD_T Answer(int i) {
  const std::string mac = MacText(i);
  const std::string xml =
      "<Msg><Type>DiscoverAck</Type><Protocal>2.0</Protocal><Params><Type>DoorStation</Type>"
      "<DeviceID>1-" +
      std::to_string(i) + "</DeviceID><IP>" + IpText(i) +
      "</IP><FW>12.30.1.1</FW><DeviceName>Door</DeviceName><MAC>" + mac + "</MAC><WorkMAC>" + mac +
      "</WorkMAC><Model>DS-210 Door Station</Model></Params></Msg>";
  PACKET_RECORD_T record;
  std::memset(&record, 0, sizeof(record));
  std::memcpy(record.szIP, u"10.213.1.1", sizeof(u"10.213.1.1"));
  record.mac[0] = 0x02;
  for (int b = 0; b < 4; ++b) record.mac[2 + b] = static_cast<uint8_t>(i >> (8 * (3 - b)));
  record.nPort = 8500;
  std::vector<uint8_t> text(xml.begin(), xml.end());
  text.resize(text.size() + 32, 0);
  int length = static_cast<int>(xml.size());
  EncryptPayload(text.data(), record.data + kMsgHeaderLength,
                 kPacketDatagramBytes - kMsgHeaderLength, kDiscoverKeyText, &length, true);
  reinterpret_cast<MsgHeader*>(record.data)
      ->Fill(MSG_DISCOVER_ACK, 2, static_cast<uint16_t>(length));
  record.nDataLen = kMsgHeaderLength + length;
  return record;
}

// A control core whose table (and tracker, when on) already knows the whole fleet.
void Prepare(CControl& control, bool tracking, std::vector<PACKET_RECORD_T>& records) {
  CCommControl::GetInstance()->Channel().Close();  // no log lines: only the path itself counts
  control.DeviceStatus().SetEnabled(tracking);
  control.DeviceStatus().BeginRound();  // a round in progress, as in the program
  for (int i = 0; i < kFleet; ++i) {
    control.UpdateDevice({IpText(i), MacText(i), MacText(i), "DS-210 Door Station",
                          "1-" + std::to_string(i), "12.30.1.1"});
    if (tracking) control.DeviceStatus().OnAnswer(MacText(i));
  }
  records.clear();
  for (int r = 0; r < kRecords; ++r) records.push_back(Answer(r * (kFleet / kRecords)));
}

// Argument 1: status tracking on; 0: off.
void BM_AnswerPath(benchmark::State& state) {
  CControl control;
  std::vector<PACKET_RECORD_T> records;
  Prepare(control, state.range(0) != 0, records);
  size_t next = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(control.OnSocketMsg(&records[next]));
    next = (next + 1) % records.size();
  }
  state.counters["devices"] = kFleet;
}

void BM_SnapshotAndProblems(benchmark::State& state) {
  CControl control;
  std::vector<PACKET_RECORD_T> records;
  Prepare(control, true, records);
  const std::vector<IPV4_SUBNET_T> subnets = {{0x0AD50001, 0xFFFF0000}};
  for (auto _ : state) {
    const STATUS_SNAPSHOT_T snapshot = control.DeviceStatus().Snapshot();
    const std::vector<DEVICE_ENTRY_T> table = control.GetDeviceList();
    benchmark::DoNotOptimize(CSiteProblems::Compute(table, subnets));
    benchmark::DoNotOptimize(snapshot.devices.size());
  }
  state.counters["devices"] = kFleet;
}

}  // namespace

// Repetitions, so that load from other processes shows as spread rather than as a difference
// (run with --benchmark_enable_random_interleaving=true to interleave them).
BENCHMARK(BM_AnswerPath)
    ->ArgName("tracking")
    ->Arg(0)
    ->Arg(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_SnapshotAndProblems)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
