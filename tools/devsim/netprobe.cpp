// netprobe: drives the program's own transport (CMacProtoControl) and message facade on a
// virtual segment, for end-to-end tests of the transport and the device simulator:
//   netprobe --interface IF send --to-ip IP --to-mac MAC --hex BYTES
//   netprobe --interface IF discover [--rounds N] [--listen-ms MS] [--expect N]
//   netprobe --interface IF request --type T --key MACTEXT --ip IP --work-mac MAC [...]
// Answers are printed as JSON lines; the last line is a summary.

#include <pcap/pcap.h>
#include <signal.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "protocol/discover_request.h"
#include "protocol/msg_facade.h"
#include "protocol/msg_header.h"
#include "protocol/text_field.h"
#include "shell/global_utils.h"
#include "sim_http.h"
#include "sim_mac_text.h"
#include "sim_netns.h"
#include "transport/capture_relay.h"
#include "transport/mac_proto_control.h"
#include "transport/udp_frame.h"

namespace {

std::mutex g_mutex;
std::vector<PACKET_RECORD_T> g_received;
std::chrono::steady_clock::time_point g_lastReceived;

void Address(PACKET_RECORD_T* packet, const std::string& ip, const uint8_t* mac, int port) {
  Utf8ToField(ip.c_str(), packet->szIP);
  std::memcpy(packet->mac, mac, 6);
  packet->nPort = port;
}

std::vector<PACKET_RECORD_T> TakeReceived() {
  std::lock_guard<std::mutex> lock(g_mutex);
  std::vector<PACKET_RECORD_T> taken;
  taken.swap(g_received);
  return taken;
}

std::string MacOf(const PACKET_RECORD_T& r) { return CGlobalUtils::MacBytesToText(r.mac); }

void Print(const nlohmann::json& line) {
  std::printf("%s\n", line.dump().c_str());
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"netprobe: the program's transport and facade on a virtual segment"};
  app.require_subcommand(1);
  std::string interfaceName;
  int listenMs = 2000;
  bool allInterfaces = false;
  auto* interfaceOption =
      app.add_option("--interface", interfaceName, "interface of the program's side");
  app.add_flag("--all-interfaces", allInterfaces, "every interface with an IPv4 address")
      ->excludes(interfaceOption);
  app.add_option("--listen-ms", listenMs, "how long to collect answers")->capture_default_str();
  bool viaHelper = false;
  app.add_flag("--via-helper", viaHelper,
               "capture through the capture helper beside netprobe, even as root");

  CLI::App* send = app.add_subcommand("send", "send one datagram through CMacProtoControl::Send");
  std::string toIp, toMac, hex;
  int port = 8500, repeat = 1;
  send->add_option("--to-ip", toIp)->required();
  send->add_option("--to-mac", toMac)->required();
  send->add_option("--port", port)->capture_default_str();
  send->add_option("--hex", hex, "datagram bytes in hex")->required();
  send->add_option("--repeat", repeat, "frames to send")->capture_default_str();
  bool breakChecksum = false;
  send->add_flag(
      "--break-udp-checksum", breakChecksum,
      "inject the frame with a wrong UDP checksum instead (a receiving kernel must drop it)");

  CLI::App* discover =
      app.add_subcommand("discover", "multicast discovery, bare and prefixed in turn");
  int rounds = 1, expect = -1;
  discover->add_option("--rounds", rounds)->capture_default_str();
  discover->add_option("--expect", expect, "exit 1 unless this many distinct devices answered");
  int stopReaderMs = 0;
  discover->add_option("--stop-reader-ms", stopReaderMs,
                       "with --via-helper: stop the capture helper this long right after the "
                       "discovery is sent (a reader kept off the processor)");
  std::string fleetFile;
  discover->add_option(
      "--fleet", fleetFile,
      "devsim's fleet file: exit 1 unless exactly its fault-free devices answered, "
      "each with its IP, model, firmware, device ID, MAC texts and frame address");

  CLI::App* request = app.add_subcommand("request", "one request to one device");
  std::string type, key, ip, workMac, user, password, url, version;
  std::vector<std::string> items;
  int prefixed = 0;
  request->add_option("--type", type)
      ->required()
      ->check(CLI::IsMember(
          {"requestconfig", "updateconfig", "authenticate", "reboot", "reset", "upgrade"}));
  request->add_option("--key", key, "device key: its MAC text as reported")->required();
  request->add_option("--ip", ip)->required();
  request->add_option("--work-mac", workMac)->required();
  request->add_option("--item", items, "configuration item (path or path=value)");
  request->add_option("--user", user);
  request->add_option("--password", password);
  request->add_option("--url", url);
  request->add_option("--version", version);
  int serveImage = 0;
  request->add_option(
      "--serve-image", serveImage,
      "upgrade: serve an image of this many bytes on port 8088 of the interface's address "
      "(0 bytes: answer 404) and offer its address");
  request->add_option("--prefixed", prefixed, "1: the device speaks the prefixed envelope")
      ->capture_default_str();
  CLI11_PARSE(app, argc, argv);
  if (interfaceName.empty() && !allInterfaces) {
    std::fprintf(stderr, "netprobe: --interface or --all-interfaces is required\n");
    return 2;
  }

  if (!InSeparateNetns()) {
    std::fprintf(stderr, "netprobe: refusing to send device traffic outside a virtual segment\n");
    return 2;
  }
  CMacProtoControl* transport = CMacProtoControl::GetInstance();
  transport->SetReceiveSink([](const PACKET_RECORD_T& record) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_received.push_back(record);
    g_lastReceived = std::chrono::steady_clock::now();
  });
  MacProtoInitOptions init;
  init.interfaceName = interfaceName;
  init.allAdapters = allInterfaces;
  init.viaHelper = viaHelper;
  CaptureFailure failure;
  if (transport->Init(init, &failure) != 0) {
    std::fprintf(stderr, "netprobe: %s\n", CaptureFailureText(failure).c_str());
    return 3;
  }
  CMsgFacade* facade = CMsgFacade::GetInstance();
  // Listens listenMs, or with --expect until that many datagrams are in (answers of a loaded
  // machine may take long to come, and a late answer is not a lost one).
  auto listen = [listenMs, &expect] {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(listenMs);
    while (std::chrono::steady_clock::now() < end) {
      if (expect > 0) {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (g_received.size() >= static_cast<size_t>(expect)) break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  };

  if (*send) {
    uint8_t mac[6];
    if (!ParseMacText(toMac, mac) || hex.size() % 2 != 0) {
      std::fprintf(stderr, "netprobe: bad --to-mac or --hex\n");
      return 2;
    }
    PACKET_RECORD_T packet{};
    packet.nDataLen = static_cast<int>(hex.size() / 2);
    if (packet.nDataLen > kPacketDatagramBytes) return 2;
    for (int i = 0; i < packet.nDataLen; ++i)
      packet.data[i] = static_cast<uint8_t>(std::stoul(hex.substr(i * 2, 2), nullptr, 16));
    Address(&packet, toIp, mac, port);
    int failures = 0;
    if (breakChecksum) {
      for (NET_ADAPTER_T adapter : transport->GetAdapterList()) {
        FrameEndpoint from, to;
        ParseIpv4(adapter.ip.c_str(), &from.ip);
        std::memcpy(from.mac, adapter.mac, 6);
        from.port = kSendSourcePort;
        ParseIpv4(toIp.c_str(), &to.ip);
        std::memcpy(to.mac, mac, 6);
        to.port = static_cast<uint16_t>(port);
        uint8_t frame[kMaxSendFrameBytes];
        const int length = BuildUdpFrame(from, to, NextIpIdentification(), packet.data,
                                         packet.nDataLen, frame, sizeof(frame));
        if (length < 0) return 2;
        frame[41] ^= 0x01;  // low byte of the UDP checksum
        for (int i = 0; i < repeat; ++i)
          if (adapter.handle == nullptr || pcap_sendpacket(adapter.handle, frame, length) != 0)
            ++failures;
      }
      Print({{"sent", repeat}, {"failures", failures}, {"brokenChecksum", true}});
      transport->Stop();
      return failures == 0 ? 0 : 1;
    }
    // Send puts the record on every open adapter in list order; count refusals adapter by adapter.
    const std::vector<NET_ADAPTER_T> adapters = transport->GetAdapterList();
    for (int i = 0; i < repeat; ++i) {
      if (adapters.size() == 1) {
        NET_ADAPTER_T adapter = adapters.front();
        if (transport->SendOnAdapter(&packet, &adapter) != 0) ++failures;
      } else {
        transport->Send(&packet);
      }
    }
    Print({{"sent", repeat}, {"failures", failures}});
    transport->Stop();
    return failures == 0 ? 0 : 1;
  }

  if (*discover) {
    std::set<std::string> macs;
    std::map<std::string, nlohmann::json> seen;
    std::chrono::steady_clock::time_point sentAt;
    int answers = 0, undecodable = 0;
    const uint8_t group[6] = {0x01, 0x00, 0x5E, 0x08, 0x08, 0x01};
    for (int round = 0; round < rounds; ++round) {
      const DISCOVER_REQ_T req = MakeDiscoverRequest();
      PACKET_RECORD_T packet;
      if (facade->BuildDiscoverMsg(&packet, &req, round % 2 == 0 ? 2 : 3) != 0) return 3;
      Address(&packet, "238.8.8.1", group, 8500);
      sentAt = std::chrono::steady_clock::now();
      transport->Send(&packet);
      if (stopReaderMs > 0) {
        std::vector<pid_t> helpers;
        for (const NET_ADAPTER_T& adapter : transport->GetAdapterList())
          if (adapter.relay != nullptr) helpers.push_back(adapter.relay->HelperPid());
        for (pid_t pid : helpers) kill(pid, SIGSTOP);
        std::this_thread::sleep_for(std::chrono::milliseconds(stopReaderMs));
        for (pid_t pid : helpers) kill(pid, SIGCONT);
      }
      listen();
      for (const PACKET_RECORD_T& r : TakeReceived()) {
        MsgHeaderInfo header;
        if (!ReadMsgHeader(r.data, r.nDataLen, &header) || header.messageId != MSG_DISCOVER_ACK) {
          ++undecodable;
          continue;
        }
        DISCOVER_ACK_T ack;
        if (facade->ParseDiscoverAckMsg(r.data, r.nDataLen, &ack, header.payloadLength,
                                        header.payloadMode) != 0) {
          ++undecodable;
          continue;
        }
        ++answers;
        const std::string mac = FieldToUtf8(ack.szMAC);
        if (!macs.insert(mac).second) continue;
        const bool withPrefix =
            header.payloadLength >= 8 && std::memcmp(r.data + 10, "ozrq6600", 8) == 0;
        nlohmann::json answer = {{"mac", mac},
                                 {"workMac", FieldToUtf8(ack.szWorkMAC)},
                                 {"ip", FieldToUtf8(ack.szIP)},
                                 {"model", FieldToUtf8(ack.szModel)},
                                 {"firmware", FieldToUtf8(ack.szFW)},
                                 {"deviceId", FieldToUtf8(ack.szDeviceID)},
                                 {"envelope", withPrefix ? "prefixed" : "bare"}};
        // The same frame address: kept for the fleet comparison, printed as the frame's.
        seen[mac] = answer;
        seen[mac]["workMacBytes"] = MacOf(r);
        answer["frameMac"] = MacOf(r);
        Print(answer);
      }
    }
    int mismatches = 0;
    if (!fleetFile.empty()) {
      std::ifstream in(fleetFile);
      const nlohmann::json fleet = nlohmann::json::parse(in, nullptr, false);
      if (!fleet.is_array()) {
        std::fprintf(stderr, "netprobe: cannot read fleet file %s\n", fleetFile.c_str());
        return 2;
      }
      size_t expected = 0;
      for (const nlohmann::json& device : fleet) {
        const std::string mac = device.value("mac", "");
        const bool faulty = !device.value("fault", "").empty();
        auto it = seen.find(mac);
        if (faulty) {
          if (it != seen.end()) {
            ++mismatches;
            Print({{"unexpected", mac}, {"fault", device.value("fault", "")}});
          }
          continue;
        }
        ++expected;
        if (it == seen.end()) {
          ++mismatches;
          Print({{"missing", mac}});
          continue;
        }
        for (const char* field :
             {"workMac", "ip", "model", "firmware", "deviceId", "workMacBytes", "envelope"}) {
          if (it->second.value(field, "") != device.value(field, "")) {
            ++mismatches;
            Print({{"mismatch", mac},
                   {"field", field},
                   {"got", it->second.value(field, "")},
                   {"fleet", device.value(field, "")}});
          }
        }
      }
      if (seen.size() != expected && mismatches == 0) ++mismatches;
    }
    nlohmann::json summary = {{"answers", answers},
                              {"devices", macs.size()},
                              {"undecodable", undecodable},
                              {"mismatches", mismatches}};
    {
      std::lock_guard<std::mutex> lock(g_mutex);
      if (g_lastReceived > sentAt)
        summary["lastAnswerMs"] =
            std::chrono::duration_cast<std::chrono::milliseconds>(g_lastReceived - sentAt).count();
    }
    const CaptureCounters capture = transport->GetCaptureCounters();
    summary["captured"] = capture.received;
    summary["captureDrops"] = capture.dropped + capture.interfaceDropped;
    summary["truncated"] = capture.truncated;
    Print(summary);
    transport->Stop();
    if (mismatches > 0) return 1;
    return expect < 0 || static_cast<int>(macs.size()) == expect ? 0 : 1;
  }

  // request
  uint8_t mac[6];
  if (!ParseMacText(workMac, mac)) {
    std::fprintf(stderr, "netprobe: bad --work-mac\n");
    return 2;
  }
  facade->SetEnvelopeMode(key, prefixed);
  SimHttpServer server;
  PACKET_RECORD_T packet;
  int built = -1;
  if (type == "requestconfig" || type == "updateconfig") {
    REPORT_CONFIG_T req{};
    Utf8ToField(kProtocolVersion, req.szProtocal);
    for (size_t i = 0; i < items.size() && i < kConfigItemCount; ++i)
      Utf8ToField(items[i].c_str(), req.module.szItem[i]);
    built = type == "requestconfig" ? facade->BuildRequestConfigMsg(&packet, &req, key)
                                    : facade->BuildUpdateConfigMsg(&packet, &req, key);
  } else if (type == "authenticate") {
    AUTHENTICATE_REQ_T req{};
    Utf8ToField(user.c_str(), req.szUser);
    Utf8ToField(password.c_str(), req.szPwd);
    Utf8ToField("netprobe0123456789abcdefghijklmn", req.szUUID);
    built = facade->BuildRequestAuthenticate(&packet, &req, key);
  } else if (type == "reboot" || type == "reset") {
    REMOTE_CONTROL_T req{};
    Utf8ToField(kProtocolVersion, req.szProtocal);
    Utf8ToField(type == "reboot" ? "Reboot" : "ResetToFactory", req.szType);
    built = facade->BuildRemoteControlMsg(&packet, &req, key);
  } else {
    if (request->count("--serve-image") > 0) {
      const std::vector<NET_ADAPTER_T> adapters = transport->GetAdapterList();
      if (adapters.empty() ||
          !server.Start(adapters.front().ip, 8088, std::string(serveImage, 'F'))) {
        std::fprintf(stderr, "netprobe: cannot serve the image on port 8088\n");
        return 3;
      }
      if (url.empty())
        url = CGlobalUtils::FirmwareUrl(adapters.front().ip, "image-" + version + ".bin");
    }
    UPGRADE_SEND_T req{};
    Utf8ToField(kProtocolVersion, req.szProtocal);
    Utf8ToField(version.c_str(), req.szFirmwareVer);
    Utf8ToField(url.c_str(), req.szFirmwareUrl);
    built = facade->BuildUpgradeSendMsg(&packet, &req, key, 2);
  }
  if (built != 0) {
    std::fprintf(stderr, "netprobe: building the request failed\n");
    return 3;
  }
  Address(&packet, ip, mac, 8500);
  transport->Send(&packet);
  listen();
  int answers = 0;
  for (const PACKET_RECORD_T& r : TakeReceived()) {
    MsgHeaderInfo header;
    if (!ReadMsgHeader(r.data, r.nDataLen, &header)) continue;
    nlohmann::json line = {
        {"id", header.messageId}, {"from", FieldToUtf8(r.szIP)}, {"frameMac", MacOf(r)}};
    if (header.messageId == MSG_REPORT_CONFIG) {
      REPORT_CONFIG_T report;
      if (facade->ParseReportConfigMsg(r.data, r.nDataLen, &report, key, header.payloadLength,
                                       header.payloadMode) != 0)
        continue;
      nlohmann::json list = nlohmann::json::array();
      for (const auto& item : report.module.szItem)
        if (item[0] != 0) list.push_back(FieldToUtf8(item));
      line["items"] = list;
    } else if (header.messageId == MSG_FROM_DEVICE_ACK) {
      MSG_ACK_T ack;
      if (facade->ParseAckMsg(r.data, r.nDataLen, &ack, key, header.payloadLength,
                              header.payloadMode) != 0)
        continue;
      line["result"] = FieldToUtf8(ack.szResult);
      line["msgId"] = FieldToUtf8(ack.szMsgID);
      line["info"] = FieldToUtf8(ack.szInfo);
    } else if (header.messageId == MSG_AUTHENTICATE_ACK) {
      COMMON_ACK_T ack;
      if (facade->ParseAuthenticateAck(r.data, r.nDataLen, &ack, key, header.payloadLength) != 0)
        continue;
      line["result"] = ack.nResult;
      line["uuid"] = FieldToUtf8(ack.szUUID);
    }
    ++answers;
    Print(line);
  }
  nlohmann::json summary = {{"answers", answers}};
  if (server.Port() != 0) summary["downloads"] = server.Requests();
  Print(summary);
  transport->Stop();
  return answers > 0 ? 0 : 1;
}
