#include "sim_engine.h"

#include <cstdio>
#include <cstring>

#include "protocol/msg_header.h"
#include "protocol/payload_envelope.h"
#include "shell/global_utils.h"
#include "sim_documents.h"

namespace {

uint64_t MacKey(const uint8_t* mac) {
  uint64_t key = 0;
  for (int i = 0; i < 6; ++i) key = key << 8 | mac[i];
  return key;
}

std::string Hex(int value) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%X", value);
  return text;
}

uint32_t IpNumber(const std::string& text) {
  uint32_t ip = 0;
  return ParseIpv4(text.c_str(), &ip) ? ip : 0;
}

}  // namespace

std::vector<uint8_t> BuildDeviceDatagram(int messageId, const std::string& xml,
                                         const std::string& keyText, bool prefixed) {
  const int capacity = EnvelopeLength(static_cast<int>(xml.size()), true) + 1;
  std::vector<uint8_t> datagram(kMsgHeaderLength + capacity, 0);
  int length = static_cast<int>(xml.size());
  if (EncryptPayload(reinterpret_cast<const uint8_t*>(xml.c_str()),
                     datagram.data() + kMsgHeaderLength, capacity, keyText, &length, prefixed) != 0)
    return {};
  MsgHeader header;
  header.Fill(messageId, 2, static_cast<uint16_t>(length));
  std::memcpy(datagram.data(), &header, sizeof(header));
  datagram.resize(kMsgHeaderLength + length);
  return datagram;
}

SimEngine::SimEngine(const SimOptions& options, std::vector<SimDevice> fleet)
    : options_(options), fleet_(std::move(fleet)) {
  for (const SimDevice& d : fleet_) byWorkMac_.emplace(MacKey(d.workMac), d.index);
}

bool SimEngine::TakeStateChanged() {
  const bool changed = stateChanged_;
  stateChanged_ = false;
  return changed;
}

void SimEngine::Log(const std::string& line) {
  if (log) log(line);
}

SimDevice* SimEngine::DeviceForFrame(const uint8_t* dstMac) {
  auto it = byWorkMac_.find(MacKey(dstMac));
  return it == byWorkMac_.end() ? nullptr : &fleet_[it->second];
}

// Requests come in either envelope whatever the device answers with (the decrypting side
// recognises the prefix); the key is the device's MAC text as it reports it. The other texts
// are what a device falls back to when a program keys it differently.
bool SimEngine::DecryptRequest(const SimDevice* device, const uint8_t* payload, int length,
                               int mode, std::string* text) {
  if (mode < 2) {
    text->assign(reinterpret_cast<const char*>(payload), static_cast<size_t>(length));
    text->resize(std::strlen(text->c_str()));
    return true;
  }
  std::vector<std::string> keys;
  if (device != nullptr) keys = {device->KeyText(), CGlobalUtils::MacBytesToText(device->mac), ""};
  keys.push_back(kDiscoverKeyText);
  std::vector<uint8_t> plain(static_cast<size_t>(length) + 1, 0);
  for (const std::string& key : keys) {
    if (DecryptPayload(payload, plain.data(), static_cast<int>(plain.size()), key, length) != 0)
      return false;
    SimRequest probe;
    const std::string candidate(reinterpret_cast<const char*>(plain.data()));
    if (ParseRequestXml(candidate, &probe)) {
      *text = candidate;
      return true;
    }
  }
  return false;
}

void SimEngine::Answer(const SimDevice& device, const FrameEndpoint& to, int messageId,
                       const std::string& xml, const std::string& keyText, int64_t dueMs,
                       std::vector<SimOutFrame>* out) {
  if (device.fault == SimFault::kDrop) {
    ++stats_.faulted;
    return;
  }
  std::vector<uint8_t> datagram = BuildDeviceDatagram(messageId, xml, keyText, device.prefixed);
  if (datagram.empty()) return;
  if (device.fault == SimFault::kCorrupt) {
    // Garble the first cipher block: the document no longer starts with "<Msg>".
    const size_t start = kMsgHeaderLength + (device.prefixed ? kEnvelopePrefixLength : 0);
    for (size_t i = start; i < start + 16 && i < datagram.size(); ++i) datagram[i] ^= 0xA5;
    ++stats_.faulted;
  } else if (device.fault == SimFault::kTruncate) {
    // The header still claims the whole payload.
    datagram.resize(kMsgHeaderLength + (datagram.size() - kMsgHeaderLength) / 2);
    ++stats_.faulted;
  }
  FrameEndpoint from;
  std::memcpy(from.mac, device.workMac, 6);
  from.ip = IpNumber(device.network.ip);
  from.port = kDevicePort;
  SimOutFrame frame;
  frame.dueMs = dueMs;
  frame.bytes.resize(kFrameHeaderBytes + datagram.size());
  if (BuildUdpFrame(from, to, identification_++, datagram.data(), static_cast<int>(datagram.size()),
                    frame.bytes.data(), static_cast<int>(frame.bytes.size())) < 0)
    return;
  ++stats_.answers;
  out->push_back(std::move(frame));
}

void SimEngine::OnFrame(const uint8_t* frame, int length, int64_t nowMs,
                        std::vector<SimOutFrame>* out, std::vector<SimUpgradeJob>* jobs) {
  ++stats_.framesSeen;
  ParsedUdpFrame udp;
  if (ParseUdpFrame(frame, length, &udp) != FrameParseResult::kOk || udp.dstPort != kDevicePort)
    return;
  MsgHeaderInfo header;
  if (!ReadMsgHeader(udp.payload, udp.payloadLength, &header)) return;
  const uint8_t* payload = udp.payload + kMsgHeaderLength;

  FrameEndpoint requester;
  std::memcpy(requester.mac, udp.srcMac, 6);
  requester.ip = udp.srcIp;
  requester.port = udp.srcPort;

  const bool groupAddressed = (udp.dstMac[0] & 1) != 0;
  if (header.messageId == MSG_DISCOVER) {
    std::string text;
    SimRequest request;
    if (!DecryptRequest(nullptr, payload, header.payloadLength, header.payloadMode, &text) ||
        !ParseRequestXml(text, &request) || request.type != "Discover") {
      ++stats_.undecodable;
      Log("discover that does not decode, ignored");
      return;
    }
    ++stats_.discovers;
    const std::string msgSeq =
        request.params.count("MsgSeq") ? request.params["MsgSeq"] : "0000000000";
    SimDevice* only = groupAddressed ? nullptr : DeviceForFrame(udp.dstMac);
    if (!groupAddressed && only == nullptr) return;
    for (SimDevice& d : fleet_) {
      if (only != nullptr && &d != only) continue;
      if (d.QuietAt(nowMs)) continue;
      if (d.loseDiscoverAnswers > 0) {
        --d.loseDiscoverAnswers;
        Log(d.macText + ": discovery answer lost (--lose-discover-answers)");
        continue;
      }
      Answer(d, requester, MSG_DISCOVER_ACK, DiscoverAckXml(d, msgSeq), kDiscoverKeyText,
             nowMs + d.answerDelayMs, out);
    }
    Log("discover from " + CGlobalUtils::IpToText(udp.srcIp) + ": answered");
    return;
  }

  SimDevice* device = groupAddressed ? nullptr : DeviceForFrame(udp.dstMac);
  // A device takes only frames for its own addresses and only while it runs.
  if (device == nullptr || device->QuietAt(nowMs) || IpNumber(device->network.ip) != udp.dstIp)
    return;
  std::string text;
  SimRequest request;
  if (!DecryptRequest(device, payload, header.payloadLength, header.payloadMode, &text) ||
      !ParseRequestXml(text, &request)) {
    ++stats_.undecodable;
    Log("request " + Hex(header.messageId) + " to " + device->macText + " does not decode");
    return;
  }
  ++stats_.requests;
  const int64_t due = nowMs + device->answerDelayMs;
  const std::string& key = device->KeyText();

  switch (header.messageId) {
    case MSG_REQUEST_CONFIG: {
      if (device->muteConfig) {
        Log(device->macText + ": configuration request ignored (muted)");
        break;
      }
      std::vector<std::string> items;
      for (const std::string& path : request.items) {
        std::string value;
        if (ReadConfigItem(*device, path, &value)) items.push_back(path + "=" + value);
      }
      Answer(*device, requester, MSG_REPORT_CONFIG, ReportConfigXml(items), key, due, out);
      Log(device->macText + ": reported " + std::to_string(items.size()) + " items");
      break;
    }
    case MSG_UPDATE_CONFIG: {
      if (device->loseUpdates > 0) {
        --device->loseUpdates;
        Log(device->macText + ": update lost on the way (--lose-updates)");
        break;
      }
      if (options_.ignoreUpdates) {
        Log(device->macText + ": update ignored");
        break;
      }
      if (!options_.updateResult.empty()) {
        Answer(*device, requester, MSG_FROM_DEVICE_ACK,
               AckXml(MSG_UPDATE_CONFIG, header.crc, options_.updateResult, "not applied"), key,
               due, out);
        Log(device->macText + ": update answered " + options_.updateResult + ", not applied");
        break;
      }
      // The acknowledge leaves from the address the request reached, before the change.
      SimDevice before = *device;
      std::string reason;
      const bool ok = ApplyConfigItems(device, request.items, &reason);
      Answer(before, requester, MSG_FROM_DEVICE_ACK,
             AckXml(MSG_UPDATE_CONFIG, header.crc, ok ? "OK" : "Failed", reason), key, due, out);
      if (ok) stateChanged_ = true;
      Log(device->macText + ": update " +
          (ok ? "applied, IP " + device->network.ip : "refused: " + reason));
      break;
    }
    case MSG_AUTHENTICATE: {
      const bool ok =
          request.params["User"] == device->user && request.params["Pwd"] == device->password;
      Answer(*device, requester, MSG_AUTHENTICATE_ACK,
             AuthenticateAckXml(ok ? 0 : -1, request.params["UUID"],
                                ok ? "OK" : "Invalid user or password"),
             key, due, out);
      Log(device->macText + ": authenticate " + (ok ? "accepted" : "refused"));
      break;
    }
    case MSG_REMOTE_CONTROL: {
      const bool reboot = request.type == "Reboot";
      const bool reset = request.type == "ResetToFactory";
      Answer(*device, requester, MSG_FROM_DEVICE_ACK,
             AckXml(MSG_REMOTE_CONTROL, header.crc, reboot || reset ? "OK" : "Failed", ""), key,
             due, out);
      if (!reboot && !reset) break;
      if (reset) ResetToFactory(device, options_.user, options_.password);
      device->offlineUntilMs = due + options_.rebootMs;
      ++device->bootCount;
      stateChanged_ = true;
      Answer(*device, requester, MSG_DEVICE_BOOTUP, BootUpXml(*device), key, device->offlineUntilMs,
             out);
      Log(device->macText + ": " + request.type + ", back in " + std::to_string(options_.rebootMs) +
          " ms");
      break;
    }
    case MSG_UPGRADE_SEND: {
      if (device->upgradeFault == SimUpgradeFault::kRefusesDownload) {
        Answer(*device, requester, MSG_FROM_DEVICE_ACK,
               AckXml(MSG_UPGRADE_SEND, header.crc, "Failed", "download refused"), key, due, out);
        Log(device->macText + ": refuses the upgrade to " + request.params["FirmwareVer"]);
        break;
      }
      Answer(*device, requester, MSG_FROM_DEVICE_ACK,
             AckXml(MSG_UPGRADE_SEND, header.crc, "OK", ""), key, due, out);
      SimUpgradeJob job;
      job.device = device->index;
      job.url = request.params["FirmwareUrl"];
      job.version = request.params["FirmwareVer"];
      job.requester = requester;
      jobs->push_back(job);
      Log(device->macText + ": upgrade to " + job.version + " from " + job.url);
      break;
    }
    default:
      Log("message " + Hex(header.messageId) + " ignored");
      break;
  }
}

void SimEngine::OnUpgradeResult(const SimUpgradeJob& job, bool ok, int64_t nowMs,
                                std::vector<SimOutFrame>* out) {
  if (job.device < 0 || job.device >= static_cast<int>(fleet_.size())) return;
  SimDevice& d = fleet_[job.device];
  if (!ok) {
    Log(d.macText + ": firmware download failed, keeps " + d.firmware);
    return;
  }
  // A device that keeps its firmware goes through the same reboot, only into the old version.
  const bool keeps = d.upgradeFault == SimUpgradeFault::kKeepsFirmware;
  if (!keeps) d.firmware = job.version;
  d.offlineUntilMs = nowMs + options_.rebootMs;
  ++d.bootCount;
  stateChanged_ = true;
  Answer(d, job.requester, MSG_DEVICE_BOOTUP, BootUpXml(d), d.KeyText(), d.offlineUntilMs, out);
  Log(d.macText + ": firmware " + (keeps ? "download ignored, keeps " : "") + d.firmware +
      (keeps ? ", rebooting" : " installed, rebooting"));
}
