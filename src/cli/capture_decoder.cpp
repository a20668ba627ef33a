#include "cli/capture_decoder.h"

#include <pcap/pcap.h>
#include <tinyxml.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "core/common/mac_text.h"
#include "protocol/msg_header.h"
#include "protocol/payload_envelope.h"
#include "shell/global_utils.h"
#include "shell/ipv4_text.h"
#include "transport/frame_headers.h"
#include "transport/udp_frame.h"

namespace {

constexpr int kLinuxCookedHeaderBytes = 16;

std::string MacColons(const uint8_t* mac) {
  char text[18];
  std::snprintf(text, sizeof(text), "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2], mac[3],
                mac[4], mac[5]);
  return text;
}

std::string IpText(const uint8_t* ip) {
  return Ipv4Text(static_cast<uint32_t>(ip[0]) << 24 | static_cast<uint32_t>(ip[1]) << 16 |
                  static_cast<uint32_t>(ip[2]) << 8 | ip[3]);
}

// The XML reader steps over a whole UTF-8 sequence once it sees a lead byte, so a text ending in
// a lead byte would make it read past the terminator: zero bytes behind the text stop it there.
void ParseText(const std::string& text, TiXmlDocument* doc) {
  std::string padded = text;
  padded.append(8, '\0');
  doc->Parse(padded.c_str());
}

// True when the text is a document whose root element is "Msg".
bool IsDeviceDocument(const std::string& text) {
  if (text.empty()) return false;
  TiXmlDocument doc;
  ParseText(text, &doc);
  if (doc.Error()) return false;
  const TiXmlElement* root = doc.RootElement();
  return root != nullptr && std::strcmp(root->Value(), "Msg") == 0;
}

std::string ParamText(const std::string& xml, const char* name) {
  TiXmlDocument doc;
  ParseText(xml, &doc);
  const TiXmlElement* root = doc.RootElement();
  if (root == nullptr) return "";
  for (const TiXmlElement* params = root->FirstChildElement("Params"); params != nullptr;
       params = params->NextSiblingElement("Params")) {
    const TiXmlElement* e = params->FirstChildElement(name);
    if (e != nullptr && e->GetText() != nullptr) return e->GetText();
  }
  return "";
}

}  // namespace

const char* MessageIdName(int messageId) {
  switch (messageId) {
    case MSG_UPDATE_CONFIG:
      return "MSG_UPDATE_CONFIG";
    case MSG_REMOTE_CONTROL:
      return "MSG_REMOTE_CONTROL";
    case MSG_TO_DEVICE_ACK:
      return "MSG_TO_DEVICE_ACK";
    case MSG_UPGRADE_SEND:
      return "MSG_UPGRADE_SEND";
    case MSG_REQUEST_CONFIG:
      return "MSG_REQUEST_CONFIG";
    case MSG_AUTHENTICATE:
      return "MSG_AUTHENTICATE";
    case MSG_FROM_DEVICE_ACK:
      return "MSG_FROM_DEVICE_ACK";
    case MSG_REPORT_CONFIG:
      return "MSG_REPORT_CONFIG";
    case MSG_DEVICE_BOOTUP:
      return "MSG_DEVICE_BOOTUP";
    case MSG_DISCOVER:
      return "MSG_DISCOVER";
    case MSG_DISCOVER_ACK:
      return "MSG_DISCOVER_ACK";
    case MSG_AUTHENTICATE_ACK:
      return "MSG_AUTHENTICATE_ACK";
    default:
      return "unknown";
  }
}

bool CCaptureDecoder::Load(const std::string& path, std::string* error) {
  char errbuf[PCAP_ERRBUF_SIZE] = {};
  pcap_t* pcap = pcap_open_offline(path.c_str(), errbuf);
  if (pcap == nullptr) {
    *error = std::string("cannot read capture ") + path + ": " + errbuf;
    return false;
  }
  const int link = pcap_datalink(pcap);
  if (link != DLT_EN10MB && link != DLT_LINUX_SLL) {
    *error = "unsupported link type " + std::to_string(link) + " in " + path;
    pcap_close(pcap);
    return false;
  }
  datagrams_.clear();
  pcap_pkthdr* header = nullptr;
  const u_char* bytes = nullptr;
  int frameNumber = 0;
  double first = -1;
  while (pcap_next_ex(pcap, &header, &bytes) == 1) {
    ++frameNumber;
    const double t = static_cast<double>(header->ts.tv_sec) + header->ts.tv_usec / 1e6;
    if (first < 0) first = t;
    const int caplen = static_cast<int>(header->caplen);
    Datagram d;
    d.frameNumber = frameNumber;
    d.seconds = t - first;
    int offset = 0;
    uint16_t etherType = 0;
    if (link == DLT_EN10MB) {
      if (caplen < kEthernetHeaderBytes) continue;
      const auto* eth = reinterpret_cast<const ETHERNET_HEADER_T*>(bytes);
      std::memcpy(d.dstMac, eth->dst, 6);
      std::memcpy(d.srcMac, eth->src, 6);
      etherType = LoadBe16(eth->etherType);
      offset = kEthernetHeaderBytes;
    } else {
      if (caplen < kLinuxCookedHeaderBytes) continue;
      std::memcpy(d.srcMac, bytes + 6, 6);  // the cooked header carries the sender only
      etherType = LoadBe16(bytes + 14);
      offset = kLinuxCookedHeaderBytes;
    }
    if (etherType != kEtherTypeIpv4 || caplen < offset + kIpv4HeaderBytes) continue;
    const auto* ip = reinterpret_cast<const IPV4_HEADER_T*>(bytes + offset);
    const int ihl = (ip->versionIhl & 0x0F) * 4;
    if ((ip->versionIhl >> 4) != 4 || ihl < kIpv4HeaderBytes || ip->protocol != kIpProtocolUdp)
      continue;
    if ((LoadBe16(ip->flagsFragment) & 0x1FFF) != 0)
      continue;  // later fragments carry no UDP header
    if (caplen < offset + ihl + kUdpHeaderBytes) continue;
    d.srcIp = IpText(ip->srcAddr);
    d.dstIp = IpText(ip->dstAddr);
    const auto* udp = reinterpret_cast<const UDP_HEADER_T*>(bytes + offset + ihl);
    d.srcPort = LoadBe16(udp->srcPort);
    d.dstPort = LoadBe16(udp->dstPort);
    if (d.srcPort != kDevicePort && d.dstPort != kDevicePort) continue;
    const int start = offset + ihl + kUdpHeaderBytes;
    const int udpPayload = std::max(0, static_cast<int>(LoadBe16(udp->length)) - kUdpHeaderBytes);
    const int available = std::min(udpPayload, caplen - start);
    d.payload.assign(bytes + start, bytes + start + std::max(0, available));
    datagrams_.push_back(std::move(d));
  }
  pcap_close(pcap);
  return true;
}

CCaptureDecoder::Plain CCaptureDecoder::Open(const Datagram& d, int payloadLength) const {
  Plain result;
  const uint8_t* payload = d.payload.data() + kMsgHeaderLength;
  const std::string asText(reinterpret_cast<const char*>(payload),
                           strnlen(reinterpret_cast<const char*>(payload), payloadLength));
  if (IsDeviceDocument(asText)) {
    result = {true, "plain", "", asText};
    return result;
  }
  const bool prefixed = payloadLength >= kEnvelopeMagicLength &&
                        std::memcmp(payload, kEnvelopeMagic, kEnvelopeMagicLength) == 0;
  result.envelope = prefixed ? "prefixed" : "bare";
  std::vector<uint8_t> out(payloadLength + 1);
  for (const std::string& key : CandidateKeys(d)) {
    if (DecryptPayload(payload, out.data(), static_cast<int>(out.size()), key, payloadLength) !=
        0) {
      continue;
    }
    const std::string text(reinterpret_cast<const char*>(out.data()),
                           strnlen(reinterpret_cast<const char*>(out.data()), out.size()));
    if (IsDeviceDocument(text)) {
      result.ok = true;
      result.keyText = key.empty() ? "(default key)" : key;
      result.xml = text;
      return result;
    }
  }
  return result;
}

std::vector<std::string> CCaptureDecoder::CandidateKeys(const Datagram& d) const {
  std::vector<std::string> keys;
  auto add = [&keys](const std::string& key) {
    if (std::find(keys.begin(), keys.end(), key) == keys.end()) keys.push_back(key);
  };
  // The device's own key first: the receiver of a request, the sender of a reply.
  const uint8_t* deviceMac =
      d.dstPort == kDevicePort && d.srcPort != kDevicePort ? d.dstMac : d.srcMac;
  auto it = keyByMac_.find(CGlobalUtils::MacBytesToText(deviceMac));
  if (it != keyByMac_.end()) add(it->second);
  add(kDiscoverKeyText);
  add("");
  add(CGlobalUtils::MacBytesToText(d.srcMac));
  for (const std::string& key : learnedKeys_) add(key);
  return keys;
}

void CCaptureDecoder::LearnKeys() {
  for (const Datagram& d : datagrams_) {
    MsgHeaderInfo info;
    if (!ReadMsgHeader(d.payload.data(), static_cast<int>(d.payload.size()), &info)) continue;
    if (info.messageId != MSG_DISCOVER_ACK) continue;
    const Plain plain = Open(d, info.payloadLength);
    if (!plain.ok) continue;
    const std::string mac = ParamText(plain.xml, "MAC");
    if (mac.empty()) continue;
    if (learnedKeySet_.insert(mac).second) learnedKeys_.push_back(mac);
    keyByMac_[CompactMacText(mac)] = mac;
    const std::string work = CompactMacText(ParamText(plain.xml, "WorkMAC"));
    if (!work.empty()) keyByMac_[work] = mac;
    keyByMac_[CGlobalUtils::MacBytesToText(d.srcMac)] = mac;
  }
}

// Every <Pwd> element's text replaced by a mask of fixed length (the length would tell too much).
static std::string MaskPasswords(std::string xml) {
  static const std::string open = "<Pwd>";
  static const std::string close = "</Pwd>";
  for (size_t at = xml.find(open); at != std::string::npos; at = xml.find(open, at)) {
    const size_t start = at + open.size();
    const size_t end = xml.find(close, start);
    xml.replace(start, (end == std::string::npos ? xml.size() : end) - start, "********");
    at = start;
  }
  return xml;
}

int CCaptureDecoder::Decode(std::ostream& out, bool showPasswords) {
  LearnKeys();
  int written = 0;
  for (const Datagram& d : datagrams_) {
    char line[256];
    std::snprintf(line, sizeof(line), "#%d %.6f %s:%d -> %s:%d %s -> %s", d.frameNumber, d.seconds,
                  d.srcIp.c_str(), d.srcPort, d.dstIp.c_str(), d.dstPort,
                  MacColons(d.srcMac).c_str(), MacColons(d.dstMac).c_str());
    out << line;
    MsgHeaderInfo info;
    if (!ReadMsgHeader(d.payload.data(), static_cast<int>(d.payload.size()), &info)) {
      const bool magic =
          d.payload.size() >= 2 && d.payload[0] == kMsgMagic0 && d.payload[1] == kMsgMagic1;
      out << " | not a device datagram (" << d.payload.size() << " bytes, "
          << (magic ? "payload length beyond the datagram" : "no header magic") << ")\n";
      continue;
    }
    ++written;
    std::snprintf(line, sizeof(line), " | %s (0x%03X) mode %d crc %u payload %d",
                  MessageIdName(info.messageId), info.messageId, info.payloadMode, info.crc,
                  info.payloadLength);
    out << line;
    if (info.payloadLength == 0) {
      out << "\n";
      continue;
    }
    const Plain plain = Open(d, info.payloadLength);
    out << " envelope " << plain.envelope;
    if (!plain.ok) {
      out << " | not decoded: no known key yields a document\n";
      continue;
    }
    if (!plain.keyText.empty()) out << " key " << plain.keyText;
    std::string xml = showPasswords ? plain.xml : MaskPasswords(plain.xml);
    while (!xml.empty() && (xml.back() == '\n' || xml.back() == '\r')) xml.pop_back();
    out << "\n" << xml << "\n";
  }
  return written;
}
