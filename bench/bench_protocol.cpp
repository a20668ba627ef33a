// Cost of the protocol work per datagram: building and encrypting a request, and decrypting and
// parsing a discovery answer (the busiest reply: one per device every five seconds).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "protocol/discover_request.h"
#include "protocol/msg_facade.h"
#include "protocol/msg_handle.h"
#include "protocol/packet_record.h"
#include "protocol/payload_envelope.h"
#include "protocol/text_field.h"

namespace {

const char kAnswer[] =
    "<Msg>\r\n\t<Type>DiscoverAck</Type>\r\n\t<Protocal>2.0</Protocal>\r\n\t<Params>\r\n"
    "\t\t<Type>Door</Type>\r\n\t\t<DeviceID>1-1-101</DeviceID>\r\n\t\t<IP>192.0.2.10</IP>\r\n"
    "\t\t<FW>V2.1.7</FW>\r\n\t\t<MsgSeq>0000000042</MsgSeq>\r\n"
    "\t\t<MAC>02:1A:2B:3C:4D:5E</MAC>\r\n\t\t<Model>DS-100</Model>\r\n\t</Params>\r\n</Msg>\r\n";

void BM_BuildDiscoverDatagram(benchmark::State& state) {
  PACKET_RECORD_T packet;
  const DISCOVER_REQ_T request = MakeDiscoverRequest();
  const int encType = static_cast<int>(state.range(0));
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        CMsgFacade::GetInstance()->BuildDiscoverMsg(&packet, &request, encType));
  }
}
BENCHMARK(BM_BuildDiscoverDatagram)->Arg(2)->Arg(3);

void BM_EncryptDecrypt(benchmark::State& state) {
  const size_t textLength = static_cast<size_t>(std::clamp<int64_t>(state.range(0), 0, 4096));
  std::vector<uint8_t> buffer(textLength + 64, 0);
  std::fill_n(buffer.begin(), textLength, uint8_t('a'));
  std::vector<uint8_t> envelope(buffer.size());
  std::vector<uint8_t> plain(buffer.size());
  for (auto _ : state) {
    int length = static_cast<int>(textLength);
    EncryptPayload(buffer.data(), envelope.data(), int(envelope.size()), "021A2B3C4D5E", &length,
                   true);
    DecryptPayload(envelope.data(), plain.data(), int(plain.size()), "021A2B3C4D5E", length);
    benchmark::DoNotOptimize(plain.data());
  }
  state.SetBytesProcessed(state.iterations() * int64_t(textLength));
}
BENCHMARK(BM_EncryptDecrypt)->Arg(256)->Arg(4096);

void BM_ParseDiscoverAnswer(benchmark::State& state) {
  const bool encrypted = state.range(0) != 0;
  std::vector<uint8_t> payload(sizeof(kAnswer) + 64, 0);
  std::memcpy(payload.data(), kAnswer, sizeof(kAnswer));
  int length = static_cast<int>(std::strlen(kAnswer));
  if (encrypted) {
    EncryptPayload(payload.data(), payload.data(), int(payload.size()), kDiscoverKeyText, &length,
                   false);
  }
  DISCOVER_ACK_T ack;
  for (auto _ : state) {
    benchmark::DoNotOptimize(CMsgHandle::GetInstance()->ParseDiscoverAckMsg(
        payload.data(), &ack, length, encrypted ? 2 : 1));
  }
}
BENCHMARK(BM_ParseDiscoverAnswer)->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();
