// Cost of one datagram on the control core's worker thread (OnSocketMsg) against a device
// table of N entries: a discovery answer from a known device (decrypt, parse, envelope mode,
// model, table update), an acknowledge from a device whose work MAC differs (sender lookup,
// decrypt, parse, wait slot) and a boot-up message (sender lookup and notify only). The log
// channel is opened when this process may bind its ports, so the log lines are paid for too.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/control/control.h"
#include "protocol/msg_header.h"
#include "protocol/packet_record.h"
#include "protocol/payload_envelope.h"
#include "shell/comm_control.h"

namespace {

std::string MacText(int i) {
  char text[13];
  std::snprintf(text, sizeof(text), "02%010X", i);
  return text;
}

void MacBytes(int i, uint8_t first, uint8_t (&out)[6]) {
  out[0] = first;
  out[1] = 0;
  for (int b = 0; b < 4; ++b) out[2 + b] = static_cast<uint8_t>(i >> (8 * (3 - b)));
}

PACKET_RECORD_T Record(int id, const std::string& xml, const std::string& key,
                       const uint8_t (&mac)[6]) {
  PACKET_RECORD_T record;
  std::memset(&record, 0, sizeof(record));
  std::memcpy(record.szIP, u"10.213.1.1", sizeof(u"10.213.1.1"));
  std::memcpy(record.mac, mac, 6);
  record.nPort = 8500;
  int length = 0;
  if (!xml.empty()) {
    std::vector<uint8_t> text(xml.begin(), xml.end());
    text.resize(text.size() + 32, 0);
    length = static_cast<int>(xml.size());
    EncryptPayload(text.data(), record.data + kMsgHeaderLength,
                   kPacketDatagramBytes - kMsgHeaderLength, key, &length, true);
  }
  reinterpret_cast<MsgHeader*>(record.data)->Fill(id, 2, static_cast<uint16_t>(length));
  record.nDataLen = kMsgHeaderLength + length;
  return record;
}

// A table of n devices; every device's work MAC differs from its MAC (first byte 06).
void Fill(CControl& control, int n) {
  for (int i = 0; i < n; ++i) {
    const std::string mac = MacText(i);
    control.UpdateDevice({"10.213.0.1", mac, "06" + mac.substr(2), "Model", "1-1", "1.0"});
  }
}

// Second argument 1: log lines are sent (when the channel's ports can be bound); 0: dropped.
bool SetLogChannel(benchmark::State& state) {
  CCommUdp& channel = CCommControl::GetInstance()->Channel();
  if (state.range(1) == 0) {
    channel.Close();
    return false;
  }
  return channel.TryOpen() == 0;
}

// Third argument 1: the answer carries no model, so the model comes from the catalog file.
void BM_DiscoveryAnswer(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const bool emptyModel = state.range(2) != 0;
  state.counters["log"] = SetLogChannel(state) ? 1 : 0;
  CControl control;
  Fill(control, n);
  const int target = n / 2;
  const std::string mac = MacText(target);
  uint8_t frameMac[6];
  MacBytes(target, 0x06, frameMac);
  const std::string xml =
      "<Msg><Type>DiscoverAck</Type><Protocal>2.0</Protocal><Params><Type>DoorStation</Type>"
      "<DeviceID>1-0101</DeviceID><IP>10.213.1.100</IP><FW>12.30.1.1</FW><DeviceName>Door</"
      "DeviceName>"
      "<RTSP>rtsp://10.213.1.100:554/live/ch00_0</RTSP><Flag>5</Flag><MAC>" +
      mac + "</MAC><WorkMAC>06" + mac.substr(2) + "</WorkMAC><Model>" +
      (emptyModel ? "" : "DS-210 Door Station") + "</Model></Params></Msg>";
  const PACKET_RECORD_T record = Record(MSG_DISCOVER_ACK, xml, kDiscoverKeyText, frameMac);
  for (auto _ : state) benchmark::DoNotOptimize(control.OnSocketMsg(&record));
}

void BM_AckFromWorkMac(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  state.counters["log"] = SetLogChannel(state) ? 1 : 0;
  CControl control;
  Fill(control, n);
  const int target = n - 1;  // the last entry: the worst place for a linear search
  uint8_t frameMac[6];
  MacBytes(target, 0x06, frameMac);
  control.SetWaitMacAndCrc(MacText(target), 0);
  const std::string xml =
      "<Msg><Type>Ack</Type><Protocal>2.0</Protocal><Params><MsgID>4</MsgID>"
      "<MsgCRC>0</MsgCRC><Result>OK</Result><Info></Info></Params></Msg>";
  const PACKET_RECORD_T record = Record(MSG_FROM_DEVICE_ACK, xml, MacText(target), frameMac);
  for (auto _ : state) benchmark::DoNotOptimize(control.OnSocketMsg(&record));
}

void BM_BootUp(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  state.counters["log"] = SetLogChannel(state) ? 1 : 0;
  CControl control;
  Fill(control, n);
  uint8_t frameMac[6];
  MacBytes(n - 1, 0x06, frameMac);
  const PACKET_RECORD_T record = Record(MSG_DEVICE_BOOTUP, "", "", frameMac);
  for (auto _ : state) benchmark::DoNotOptimize(control.OnSocketMsg(&record));
}

void Sizes(benchmark::internal::Benchmark* b) {
  b->ArgNames({"devices", "log"});
  for (int log : {0, 1}) {
    for (int n : {10, 1000, 5000}) b->Args({n, log});
  }
}

}  // namespace

BENCHMARK(BM_DiscoveryAnswer)->Apply([](benchmark::internal::Benchmark* b) {
  b->ArgNames({"devices", "log", "catalog"});
  for (int log : {0, 1}) {
    for (int n : {10, 1000, 5000}) b->Args({n, log, 0});
  }
  b->Args({5000, 0, 1});
});
BENCHMARK(BM_AckFromWorkMac)->Apply(Sizes);
BENCHMARK(BM_BootUp)->Apply(Sizes);
BENCHMARK_MAIN();
