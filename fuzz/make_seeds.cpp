// Writes a small seed corpus for each fuzz target, made with the project's own builders.
// Usage: make_seeds <corpus_dir>   (creates <corpus_dir>/<target>/seed_N)
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "protocol/msg_header.h"
#include "protocol/payload_envelope.h"
#include "shell/log_record.h"
#include "transport/frame_headers.h"
#include "transport/udp_frame.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Write(const std::string& dir, const std::string& target, int n, const Bytes& bytes) {
  const std::string sub = dir + "/" + target;
  mkdir(dir.c_str(), 0755);
  mkdir(sub.c_str(), 0755);
  FILE* f = std::fopen((sub + "/seed_" + std::to_string(n)).c_str(), "wb");
  if (f == nullptr) return;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

std::string Doc(const std::string& type, const std::string& params) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Msg>\r\n\t<Type>" + type +
         "</Type>\r\n\t<Protocal>2.0</Protocal>\r\n\t<Params>\r\n" + params +
         "\t</Params>\r\n</Msg>\r\n";
}

Bytes Envelope(const std::string& text, const std::string& key, bool prefixed) {
  Bytes buffer(text.begin(), text.end());
  buffer.resize(text.size() + 64, 0);
  int length = static_cast<int>(text.size());
  if (EncryptPayload(buffer.data(), buffer.data(), static_cast<int>(buffer.size()), key, &length,
                     prefixed) != 0)
    return {};
  buffer.resize(length);
  return buffer;
}

Bytes Datagram(int id, int mode, const Bytes& payload) {
  Bytes out(kMsgHeaderLength);
  MsgHeader header;
  header.Fill(id, mode, static_cast<uint16_t>(payload.size()));
  std::memcpy(out.data(), &header, sizeof(header));
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string dir = argv[1];
  const uint8_t mac[6] = {0x02, 0x1A, 0x2B, 0x00, 0x00, 0x01};
  const std::string macKey = "021A2B000001";

  const std::string discover =
      Doc("DiscoverAck",
          "\t\t<DeviceID>1-1-1</DeviceID>\r\n\t\t<IP>10.213.1.100</IP>\r\n\t\t<FW>105.1.2</FW>\r\n"
          "\t\t<MAC>02:1A:2B:00:00:01</MAC>\r\n\t\t<WorkMAC>02:1A:2B:00:00:01</WorkMAC>\r\n"
          "\t\t<Model>IM-700</Model>\r\n");
  const std::string ack = Doc("Ack",
                              "\t\t<MsgID>4</MsgID>\r\n\t\t<MsgCRC>0</MsgCRC>\r\n"
                              "\t\t<Result>OK</Result>\r\n\t\t<Info>done</Info>\r\n");
  const std::string report = Doc("ReportConfig",
                                 "\t\t<Item>Config.Status.IP=10.213.1.100</Item>\r\n"
                                 "\t\t<Item>Config.Network.LAN.Type=0</Item>\r\n");
  const std::string auth = Doc("AuthenticateAck",
                               "\t\t<Result>0</Result>\r\n\t\t<UUID>abc</UUID>\r\n"
                               "\t\t<Desc>OK</Desc>\r\n");
  const std::vector<Bytes> datagrams = {
      Datagram(MSG_DISCOVER_ACK, 2, Envelope(discover, kDiscoverKeyText, true)),
      Datagram(MSG_DISCOVER_ACK, 2, Envelope(discover, kDiscoverKeyText, false)),
      Datagram(MSG_DISCOVER_ACK, 1, Text(discover)),
      Datagram(MSG_FROM_DEVICE_ACK, 2, Envelope(ack, macKey, false)),
      Datagram(MSG_TO_DEVICE_ACK, 1, Text(ack)),
      Datagram(MSG_REPORT_CONFIG, 2, Envelope(report, macKey, true)),
      Datagram(MSG_REPORT_CONFIG, 0, Text(report)),
      Datagram(MSG_AUTHENTICATE_ACK, 1, Text(auth)),
      Datagram(MSG_DEVICE_BOOTUP, 2, Envelope(Doc("BootUp", ""), macKey, false)),
  };

  int n = 0;
  Bytes capture = {0x00};  // capture_decoder: frames behind 2-byte lengths
  for (const Bytes& d : datagrams) {
    // control_inbound: length word 0 (use the bytes present), source MAC, datagram.
    Bytes record(4, 0);
    record.insert(record.end(), mac, mac + 6);
    record.insert(record.end(), d.begin(), d.end());
    Write(dir, "control_inbound_fuzz", n, record);

    FrameEndpoint from, to;
    std::memcpy(from.mac, mac, 6);
    ParseIpv4("10.213.1.100", &from.ip);
    from.port = kDevicePort;
    ParseIpv4("10.213.0.1", &to.ip);
    to.port = kSendSourcePort;
    Bytes frame(kFrameHeaderBytes + d.size());
    BuildUdpFrame(from, to, 7, d.data(), static_cast<int>(d.size()), frame.data(),
                  static_cast<int>(frame.size()));
    Write(dir, "udp_frame_fuzz", n, frame);
    capture.push_back(static_cast<uint8_t>(frame.size()));
    capture.push_back(static_cast<uint8_t>(frame.size() >> 8));
    capture.insert(capture.end(), frame.begin(), frame.end());
    Bytes single = {0x00, static_cast<uint8_t>(frame.size()),
                    static_cast<uint8_t>(frame.size() >> 8)};
    single.insert(single.end(), frame.begin(), frame.end());
    Write(dir, "capture_decoder_fuzz", n, single);

    // payload_envelope: capacity 4096, no length change, key choice, pad byte, envelope.
    if (d.size() > kMsgHeaderLength && d[kMsgHeaderLength] != '<') {
      Bytes env = {0x00, 0x10, 0x00, static_cast<uint8_t>(n % 3), 0x00};
      env.insert(env.end(), d.begin() + kMsgHeaderLength, d.end());
      Write(dir, "payload_envelope_fuzz", n, env);
    }
    ++n;
  }
  Write(dir, "capture_decoder_fuzz", n, capture);  // the whole exchange in one capture

  const char* lines[] = {"CControl::OnSocketMsg: (10.0.0.2:8500)ID = 0x121", "Init successs.",
                         "\xE4\xBD\xA0\xE5\xA5\xBD \xF0\x9F\x98\x80 \n\t"};
  n = 0;
  for (const char* line : lines) {
    Bytes out(kLogDatagramMaxBytes);
    out.resize(BuildLogDatagram(n == 0 ? 7 : 6, line, out.data()));
    Write(dir, "log_record_fuzz", n++, out);
  }

  const std::string inis[] = {
      "[Setting]\r\nLanguage=English\r\nAdapterName=\r\n; comment\r\n",
      "[ModelName]\n12=DS-210 Door Station\n105=\"IM-700 Indoor Monitor\"\n[setting]\nlanguage = "
      "x\n",
  };
  n = 0;
  for (const std::string& ini : inis) {
    Bytes b = {static_cast<uint8_t>(n)};
    b.insert(b.end(), ini.begin(), ini.end());
    Write(dir, "ini_profile_fuzz", n++, b);
  }

  // devsim_request: destination, ID word (mode 1, plain), request document.
  struct Req {
    int dest;
    int id;
    std::string doc;
  };
  const std::vector<Req> requests = {
      {0, MSG_DISCOVER, Doc("Discover", "\t\t<MsgSeq>0000000001</MsgSeq>\r\n")},
      {1, MSG_REQUEST_CONFIG,
       Doc("RequestConfig",
           "\t\t<Item>Config.Status.IP</Item>\r\n"
           "\t\t<Item>Config.Network.LAN.Type</Item>\r\n")},
      {1, MSG_UPDATE_CONFIG,
       Doc("UpdateConfig",
           "\t\t<Item>Config.Network.LAN.Type=2</Item>\r\n"
           "\t\t<Item>Config.Network.LAN.StaticIP=10.213.1.150</Item>\r\n")},
      {2, MSG_AUTHENTICATE,
       Doc("Authenticate",
           "\t\t<User>admin</User>\r\n\t\t<Pwd>admin</Pwd>\r\n"
           "\t\t<UUID>u1</UUID>\r\n")},
      {1, MSG_REMOTE_CONTROL, Doc("Reboot", "")},
      {2, MSG_UPGRADE_SEND,
       Doc("UpgradeSend",
           "\t\t<FirmwareUrl>http://10.213.0.1:8088/fw.bin</FirmwareUrl>\r\n"
           "\t\t<FirmwareVer>105.2.0</FirmwareVer>\r\n")},
  };
  n = 0;
  for (const Req& r : requests) {
    const int word = r.id | 1 << 11;
    Bytes b = {static_cast<uint8_t>(r.dest), static_cast<uint8_t>(word & 0xFF),
               static_cast<uint8_t>(word >> 8)};
    b.insert(b.end(), r.doc.begin(), r.doc.end());
    Write(dir, "devsim_request_fuzz", n++, b);
  }
  return 0;
}
