// Where one discovery answer's time goes, from the capture callback to the table update, for
// both envelopes (plain: payload mode 1; encrypted: mode 2 with the discovery key):
//   BM_Stage/<stage>/<envelope>  one step of the path on its own;
//   BM_Worker/<envelope>/<repeat>/<viewer> the worker's whole cost (CControl::OnSocketMsg, log
//   lines sent)
//                                for an answer that differs from the device's last one (repeat 0:
//                                read whole) and for one that repeats it (repeat 1);
//   BM_Floor/<envelope>          what no implementation can skip: decrypting the same answer with
//                                OpenSSL's fastest AES (EVP, the processor's AES instructions)
//                                and parsing it with the XML reader. Nothing of the product.
// The worker's counter "floor_ratio" is its CPU time over the floor's, measured in the same run
// (CPU time of this thread: the figures hold on a machine shared with other work).
// The log channel is opened, with a viewer on its port or without one (argument "viewer"):
// lines are composed and sent only while a viewer listens. Counter "log" = 1 when the channel
// and the viewer are as asked.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <sys/socket.h>
#include <time.h>
#include <tinyxml.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/common/mac_text.h"
#include "core/control/control.h"
#include "core/control/device_answer_listeners.h"
#include "protocol/msg_facade.h"
#include "protocol/msg_header.h"
#include "protocol/packet_record.h"
#include "protocol/payload_envelope.h"
#include "protocol/text_field.h"
#include "shell/comm_control.h"
#include "shell/global_utils.h"
#include "shell/log.h"
#include "shell/log_queue.h"
#include "transport/udp_frame.h"

namespace {

// This thread's CPU time: the machine is shared, so wall time would count other processes.
double CpuNanos(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}
double ThreadCpuNanos() { return CpuNanos(CLOCK_THREAD_CPUTIME_ID); }

const char kMac[] = "021A2B3C4D5E";

// A discovery answer as the devices send it (no model: the catalog names it). The second
// variant differs in the device's name only (a text the table does not keep).
std::string AnswerXml(int variant = 0) {
  return std::string(
             "<Msg>\r\n\t<Type>DiscoverAck</Type>\r\n\t<Protocal>2.0</Protocal>\r\n\t<Params>\r\n"
             "\t\t<Type>DoorStation</Type>\r\n\t\t<DeviceID>1-0101</DeviceID>\r\n"
             "\t\t<IP>10.213.1.100</IP>\r\n\t\t<FW>12.30.1.1</FW>\r\n"
             "\t\t<DeviceName>") +
         (variant == 0 ? "Door" : "Gate") +
         "</DeviceName>\r\n"
         "\t\t<RTSP>rtsp://10.213.1.100:554/live/ch00_0</RTSP>\r\n\t\t<Flag>5</Flag>\r\n"
         "\t\t<MAC>" +
         kMac + "</MAC>\r\n\t\t<WorkMAC>" + kMac + "</WorkMAC>\r\n\t\t<Model></Model>\r\n" +
         "\t</Params>\r\n</Msg>\r\n";
}

// Datagram bytes (header and payload) of the answer in either envelope.
std::vector<uint8_t> Datagram(bool encrypted, int variant = 0) {
  const std::string xml = AnswerXml(variant);
  std::vector<uint8_t> datagram(kMsgHeaderLength + xml.size() + 64, 0);
  int length = static_cast<int>(xml.size());
  if (encrypted) {
    std::vector<uint8_t> text(xml.begin(), xml.end());
    text.push_back(0);
    EncryptPayload(text.data(), datagram.data() + kMsgHeaderLength,
                   static_cast<int>(datagram.size()) - kMsgHeaderLength, kDiscoverKeyText, &length,
                   true);
  } else {
    std::memcpy(datagram.data() + kMsgHeaderLength, xml.data(), xml.size());
  }
  reinterpret_cast<MsgHeader*>(datagram.data())
      ->Fill(MSG_DISCOVER_ACK, encrypted ? 2 : 1, static_cast<uint16_t>(length));
  datagram.resize(kMsgHeaderLength + static_cast<size_t>(length));
  return datagram;
}

std::vector<uint8_t> Frame(bool encrypted, int variant = 0) {
  const std::vector<uint8_t> datagram = Datagram(encrypted, variant);
  FrameEndpoint source;
  FrameEndpoint destination;
  const uint8_t mac[6] = {0x02, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
  std::memcpy(source.mac, mac, 6);
  source.ip = 0x0AD50164;
  source.port = kDevicePort;
  destination.ip = 0x0AD50101;
  destination.port = kSendSourcePort;
  std::vector<uint8_t> frame(kFrameHeaderBytes + datagram.size());
  const int length =
      BuildUdpFrame(source, destination, 1, datagram.data(), static_cast<int>(datagram.size()),
                    frame.data(), static_cast<int>(frame.size()));
  frame.resize(static_cast<size_t>(length));
  return frame;
}

PACKET_RECORD_T Record(bool encrypted, int variant = 0) {
  PACKET_RECORD_T record;
  const std::vector<uint8_t> frame = Frame(encrypted, variant);
  ParseUdpFrameToRecord(frame.data(), static_cast<int>(frame.size()), &record);
  return record;
}

// A module folder with a model catalog naming firmware 12.x, so the catalog is looked up.
void UseCatalog() {
  static const bool done = [] {
    const std::string folder =
        (std::filesystem::temp_directory_path() / ("bench_answer_" + std::to_string(getpid())))
            .string();
    std::filesystem::create_directories(folder + "/config");
    std::ofstream(folder + "/config/ModelName.ini")
        << "[ModelName]\n105=IM-700 Indoor Monitor\n12=DS-210 Door Station\n";
    CGlobalUtils::SetModuleDirForTesting(folder);
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(CGlobalUtils::GetModuleDir(), ignored);
    });
    return true;
  }();
  (void)done;
}

// The log channel, open, and a viewer on its port (a socket that never reads: the kernel
// still delivers every line to it) or none. Lines are only composed and sent while a viewer
// may listen. True when the channel is open and the viewer's port is as asked.
bool OpenLog(bool withViewer = true) {
  static int viewer = -1;
  CCommUdp& channel = CCommControl::GetInstance()->Channel();
  if (withViewer && viewer < 0) {
    viewer = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(channel.ViewerPort()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (viewer >= 0 && ::bind(viewer, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      ::close(viewer);
      viewer = -1;
    }
  } else if (!withViewer && viewer >= 0) {
    ::close(viewer);
    viewer = -1;
  }
  // A new opening makes the queue look for the viewer at once.
  channel.Close();
  return channel.TryOpen() == 0 && (viewer >= 0) == withViewer;
}

// The decrypted text of the answer (for the steps after the decryption).
std::string Plain() { return AnswerXml(); }

// ---- the floor: EVP AES-256-CBC with a prepared key, then the XML reader ----

struct EvpFloor {
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  uint8_t key[32];
  EvpFloor() {
    PadAesKey(MakeKeyText(kDiscoverKeyText), key);
    EVP_DecryptInit_ex(ctx, EVP_aes_256_cbc(), nullptr, key, nullptr);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
  }
  ~EvpFloor() { EVP_CIPHER_CTX_free(ctx); }
  // Decrypts a prefixed envelope into out (zero-terminated); the text length.
  int Decrypt(const uint8_t* envelope, int length, uint8_t* out) {
    const uint8_t* iv = envelope + kEnvelopeMagicLength;
    EVP_DecryptInit_ex(ctx, nullptr, nullptr, nullptr, iv);
    int written = 0;
    EVP_DecryptUpdate(ctx, out, &written, envelope + kEnvelopePrefixLength,
                      length - kEnvelopePrefixLength);
    out[written] = 0;
    return written;
  }
};

double FloorNanos(bool encrypted) {
  const std::vector<uint8_t> datagram = Datagram(encrypted);
  const uint8_t* payload = datagram.data() + kMsgHeaderLength;
  const int length = static_cast<int>(datagram.size()) - kMsgHeaderLength;
  EvpFloor floor;
  std::vector<uint8_t> text(static_cast<size_t>(length) + 16, 0);
  TiXmlDocument doc;
  auto once = [&] {
    const char* xml = reinterpret_cast<const char*>(payload);
    if (encrypted) {
      floor.Decrypt(payload, length, text.data());
      xml = reinterpret_cast<const char*>(text.data());
    }
    doc.Clear();
    doc.Parse(xml, nullptr, TIXML_ENCODING_UTF8);
    benchmark::DoNotOptimize(doc.RootElement());
  };
  if (!encrypted) {
    std::memcpy(text.data(), payload, static_cast<size_t>(length));
    payload = text.data();
  }
  for (int i = 0; i < 2000; ++i) once();
  const int rounds = 40000;
  const double start = ThreadCpuNanos();
  for (int i = 0; i < rounds; ++i) once();
  return (ThreadCpuNanos() - start) / rounds;
}

void BM_Floor(benchmark::State& state) {
  const bool encrypted = state.range(0) != 0;
  double nanos = 0;
  for (auto _ : state) nanos = FloorNanos(encrypted);
  state.counters["floor_ns"] = nanos;
}

// ---- the worker's whole cost ----

void BM_Worker(benchmark::State& state) {
  const bool encrypted = state.range(0) != 0;
  const bool repeat = state.range(1) != 0;
  const bool viewer = state.range(2) != 0;
  UseCatalog();
  state.counters["log"] = OpenLog(viewer) ? 1 : 0;
  CControl control;
  // A table of 5,000 devices, the answering one among them.
  for (int i = 0; i < 5000; ++i) {
    char mac[13];
    std::snprintf(mac, sizeof(mac), "02%010X", i);
    control.UpdateDevice({"10.213.0.1", mac, mac, "Model", "1-1", "1.0"});
  }
  // repeat 0: every answer differs from the device's one before (two texts in turn), so each
  // is read whole. repeat 1: the device answers with the same text every time, as devices do
  // round after round.
  const PACKET_RECORD_T records[2] = {Record(encrypted, 0), Record(encrypted, repeat ? 0 : 1)};
  const double floor = FloorNanos(encrypted);
  const double start = ThreadCpuNanos();
  const double processStart = CpuNanos(CLOCK_PROCESS_CPUTIME_ID);
  size_t turn = 0;
  for (auto _ : state) benchmark::DoNotOptimize(control.OnSocketMsg(&records[turn++ & 1]));
  CLogQueue::GetInstance()->Flush();
  const double answers = static_cast<double>(state.iterations());
  const double perAnswer = (ThreadCpuNanos() - start) / answers;
  state.counters["worker_cpu_ns"] = perAnswer;
  // With the log queue's sender thread: what the process spends per answer in all.
  state.counters["process_cpu_ns"] = (CpuNanos(CLOCK_PROCESS_CPUTIME_ID) - processStart) / answers;
  state.counters["floor_ns"] = floor;
  state.counters["floor_ratio"] = perAnswer / floor;
}

// ---- the steps ----

enum Stage {
  kFrameParse,
  kRecordCopy,
  kQueuePost,
  kHeader,
  kDecrypt,
  kXmlParse,
  kFieldConversion,
  kCatalogLookup,
  kTableUpdate,
  kLogLine,
  kStageCount,
};
const char* const kStageNames[kStageCount] = {
    "frame_parse", "record_alloc_copy", "queue_post", "header",       "decrypt",
    "xml_parse",   "field_conversion",  "catalog",    "table_status", "log_line"};

void BM_Stage(benchmark::State& state) {
  const auto stage = static_cast<Stage>(state.range(0));
  const bool encrypted = state.range(1) != 0;
  state.SetLabel(std::string(kStageNames[stage]) + (encrypted ? "/encrypted" : "/plain"));
  UseCatalog();
  const std::vector<uint8_t> frame = Frame(encrypted);
  const PACKET_RECORD_T record = Record(encrypted);
  const std::vector<uint8_t> datagram = Datagram(encrypted);
  const uint8_t* payload = datagram.data() + kMsgHeaderLength;
  const int payloadLength = static_cast<int>(datagram.size()) - kMsgHeaderLength;
  const std::string plain = Plain();

  switch (stage) {
    case kFrameParse: {
      // The capture thread's own record, parsed into.
      auto into = std::make_unique<PACKET_RECORD_T>();
      for (auto _ : state)
        benchmark::DoNotOptimize(
            ParseUdpFrameToRecord(frame.data(), int(frame.size()), into.get()));
      break;
    }
    case kRecordCopy: {
      // What the capture callback and the queue do with a record besides parsing into it: one
      // record for the callback, one copy for the queue node.
      for (auto _ : state) {
        auto* mine = new PACKET_RECORD_T;
        std::memcpy(mine, &record, sizeof(record));
        auto* queued = new uint8_t[sizeof(PACKET_RECORD_T)];
        std::memcpy(queued, mine, sizeof(PACKET_RECORD_T));
        benchmark::DoNotOptimize(queued);
        delete[] queued;
        delete mine;
      }
      break;
    }
    case kQueuePost: {
      // Post and take out again: a core whose worker drains a batch after every 4,096 posts.
      auto control = std::make_unique<CControl>();
      int posted = 0;
      for (auto _ : state) {
        control->PostMsg(MSG_CLASS_SOCKET, 0, 0, &record, sizeof(record));
        if (++posted == 4096) {
          state.PauseTiming();
          control = std::make_unique<CControl>();
          posted = 0;
          state.ResumeTiming();
        }
      }
      break;
    }
    case kHeader: {
      MsgHeaderInfo header;
      for (auto _ : state) {
        benchmark::DoNotOptimize(ReadMsgHeader(record.data, record.nDataLen, &header));
        benchmark::DoNotOptimize(CGlobalUtils::MacBytesToText(record.mac));
        benchmark::DoNotOptimize(FieldToUtf8(record.szIP));
      }
      break;
    }
    case kDecrypt: {
      std::vector<uint8_t> text(static_cast<size_t>(payloadLength) + 16, 0);
      for (auto _ : state) {
        if (encrypted) {
          benchmark::DoNotOptimize(DecryptPayload(payload, text.data(), payloadLength + 1,
                                                  kDiscoverKeyText, payloadLength));
        } else {
          std::memcpy(text.data(), payload, static_cast<size_t>(payloadLength));
          benchmark::DoNotOptimize(text.data());
        }
      }
      break;
    }
    case kXmlParse: {
      TiXmlDocument doc;
      for (auto _ : state) {
        doc.Clear();
        doc.Parse(plain.c_str(), nullptr, TIXML_ENCODING_UTF8);
        benchmark::DoNotOptimize(doc.RootElement());
      }
      break;
    }
    case kFieldConversion: {
      // The parsed elements into the answer record, then the record into the table entry.
      TiXmlDocument doc;
      doc.Parse(plain.c_str(), nullptr, TIXML_ENCODING_UTF8);
      const TiXmlElement* params = doc.RootElement()->FirstChildElement("Params");
      DISCOVER_ACK_T answer;
      for (auto _ : state) {
        std::memset(&answer, 0, sizeof(answer));
        for (const TiXmlElement* e = params->FirstChildElement(); e != nullptr;
             e = e->NextSiblingElement()) {
          const char* name = e->Value();
          if (std::strcmp(name, "IP") == 0)
            Utf8ToField(e->GetText(), answer.szIP);
          else if (std::strcmp(name, "MAC") == 0)
            Utf8ToField(e->GetText(), answer.szMAC);
          else if (std::strcmp(name, "WorkMAC") == 0)
            Utf8ToField(e->GetText(), answer.szWorkMAC);
          else if (std::strcmp(name, "FW") == 0)
            Utf8ToField(e->GetText(), answer.szFW);
          else if (std::strcmp(name, "DeviceID") == 0)
            Utf8ToField(e->GetText(), answer.szDeviceID);
          else if (std::strcmp(name, "Model") == 0)
            Utf8ToField(e->GetText(), answer.szModel);
          else if (std::strcmp(name, "Type") == 0)
            Utf8ToField(e->GetText(), answer.szType);
          else if (std::strcmp(name, "DeviceName") == 0)
            Utf8ToField(e->GetText(), answer.szDeviceName);
          else if (std::strcmp(name, "RTSP") == 0)
            Utf8ToField(e->GetText(), answer.szRTSP);
          else if (std::strcmp(name, "Flag") == 0)
            Utf8ToField(e->GetText(), answer.szFlag);
        }
        DEVICE_ENTRY_T entry;
        entry.ip = FieldToUtf8(answer.szIP);
        entry.mac = FieldToUtf8(answer.szMAC);
        entry.workMac = CompactMacText(FieldToUtf8(answer.szWorkMAC));
        entry.firmware = FieldToUtf8(answer.szFW);
        entry.deviceId = FieldToUtf8(answer.szDeviceID);
        benchmark::DoNotOptimize(entry);
      }
      break;
    }
    case kCatalogLookup: {
      for (auto _ : state) benchmark::DoNotOptimize(CGlobalUtils::DeviceModelName("", "12.30.1.1"));
      break;
    }
    case kTableUpdate: {
      CControl control;
      for (int i = 0; i < 5000; ++i) {
        char mac[13];
        std::snprintf(mac, sizeof(mac), "02%010X", i);
        control.UpdateDevice({"10.213.0.1", mac, mac, "Model", "1-1", "1.0"});
      }
      const DEVICE_ENTRY_T entry{"10.213.1.100",        kMac,     kMac,
                                 "DS-210 Door Station", "1-0101", "12.30.1.1"};
      CMsgFacade* facade = CMsgFacade::GetInstance();
      for (auto _ : state) {
        control.UpdateDevice(entry);
        facade->SetEnvelopeMode(CompactMacText(entry.mac), encrypted ? 1 : 0);
        control.DeviceStatus().OnAnswer(entry.mac);
        NotifyDeviceAnswer(entry);
      }
      break;
    }
    case kLogLine: {
      // The lines one answer costs: the capture's receive line and the worker's two.
      state.counters["log"] = OpenLog() ? 1 : 0;
      for (auto _ : state) {
        LogInfo("%s:Recv Multicast/UDP from(%s:%d,MAC:%02X%02X%02X%02X%02X%02X) %d bytes",
                "MacProtoRecvThread", "10.213.1.100", 8500, 2, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E,
                record.nDataLen);
        LogDebug("%s: (%s:%d)ID = 0x%X", "CControl::OnSocketMsg", "10.213.1.100", 8500,
                 MSG_DISCOVER_ACK);
        LogDebug("ParseDiscoverAckMsg %d", 119);
      }
      break;
    }
    case kStageCount:
      break;
  }
}

void Stages(benchmark::internal::Benchmark* b) {
  b->ArgNames({"stage", "encrypted"});
  for (int encrypted : {0, 1})
    for (int stage = 0; stage < kStageCount; ++stage) b->Args({stage, encrypted});
}

}  // namespace

BENCHMARK(BM_Stage)->Apply(Stages);
BENCHMARK(BM_Floor)->ArgName("encrypted")->Arg(0)->Arg(1)->Iterations(1);
BENCHMARK(BM_Worker)
    ->ArgNames({"encrypted", "repeat", "viewer"})
    ->ArgsProduct({{0, 1}, {0, 1}, {1, 0}});
BENCHMARK_MAIN();
