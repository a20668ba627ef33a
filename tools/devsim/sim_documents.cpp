#include "sim_documents.h"

#include <arpa/inet.h>
#include <tinyxml.h>

namespace {

std::string Escape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

void Line(std::string& doc, int indent, const char* name, const std::string& value) {
  doc.append(indent, '\t');
  doc += "<";
  doc += name;
  doc += ">";
  doc += Escape(value);
  doc += "</";
  doc += name;
  doc += ">\r\n";
}

std::string Wrap(const char* type, const std::string& params) {
  std::string doc = "<Msg>\r\n";
  Line(doc, 1, "Type", type);
  Line(doc, 1, "Protocal", "2.0");
  doc += "\t<Params>\r\n" + params + "\t</Params>\r\n</Msg>\r\n";
  return doc;
}

bool IsIpv4(const std::string& text) {
  in_addr addr{};
  return inet_pton(AF_INET, text.c_str(), &addr) == 1;
}

// "Config.Network.LAN.StaticIP" and "Config.Network.WLAN.StaticIP" name the same setting.
std::string NetworkLeaf(const std::string& path) {
  for (const char* prefix : {"Config.Network.LAN.", "Config.Network.WLAN."}) {
    const std::string p = prefix;
    if (path.compare(0, p.size(), p) == 0) return path.substr(p.size());
  }
  return "";
}

}  // namespace

bool ParseRequestXml(const std::string& text, SimRequest* out) {
  // The XML reader steps over a whole UTF-8 sequence once it sees a lead byte, so a request
  // ending in a lead byte would make it read past the terminator: zero bytes behind it stop it.
  std::string padded = text;
  padded.append(8, '\0');
  TiXmlDocument doc;
  doc.Parse(padded.c_str());
  if (doc.Error()) return false;
  const TiXmlElement* root = doc.RootElement();
  if (root == nullptr || std::string(root->Value()) != "Msg") return false;
  *out = SimRequest{};
  for (const TiXmlElement* e = root->FirstChildElement(); e != nullptr;
       e = e->NextSiblingElement()) {
    const std::string name = e->Value();
    const char* value = e->GetText();
    if (name == "Type") out->type = value != nullptr ? value : "";
    if (name == "Protocal") out->protocal = value != nullptr ? value : "";
    if (name != "Params") continue;
    for (const TiXmlElement* p = e->FirstChildElement(); p != nullptr;
         p = p->NextSiblingElement()) {
      const std::string child = p->Value();
      const std::string text2 = p->GetText() != nullptr ? p->GetText() : "";
      if (child == "Item")
        out->items.push_back(text2);
      else
        out->params.emplace(child, text2);
    }
  }
  return true;
}

std::string DiscoverAckXml(const SimDevice& d, const std::string& msgSeq) {
  std::string p;
  Line(p, 2, "Type", d.type);
  Line(p, 2, "DeviceID", d.deviceId);
  Line(p, 2, "Extension", "-1");
  Line(p, 2, "IP", d.network.ip);
  Line(p, 2, "FW", d.firmware);
  Line(p, 2, "DeviceName", d.deviceName);
  Line(p, 2, "RTSP", "rtsp://" + d.network.ip + ":554/live/ch00_0");
  Line(p, 2, "Flag", "5");
  Line(p, 2, "DiscoverMethod", "Multicast");
  Line(p, 2, "DeviceCode", std::to_string(1000 + d.index % 9000));
  Line(p, 2, "MsgSeq", msgSeq);
  Line(p, 2, "MAC", d.macText);
  Line(p, 2, "WorkMAC", d.workMacText);
  Line(p, 2, "Model", d.model);
  return Wrap("DiscoverAck", p);
}

std::string ReportConfigXml(const std::vector<std::string>& items) {
  std::string p;
  for (const std::string& item : items) Line(p, 2, "Item", item);
  return Wrap("ReportConfig", p);
}

std::string AckXml(int msgId, int crc, const std::string& result, const std::string& info) {
  std::string p;
  Line(p, 2, "MsgID", std::to_string(msgId));
  Line(p, 2, "MsgCRC", std::to_string(crc));
  Line(p, 2, "Result", result);
  Line(p, 2, "Info", info);
  return Wrap("Ack", p);
}

std::string AuthenticateAckXml(int result, const std::string& uuid, const std::string& desc) {
  std::string p;
  Line(p, 2, "Result", std::to_string(result));
  Line(p, 2, "UUID", uuid);
  Line(p, 2, "Desc", desc);
  return Wrap("AuthenticateAck", p);
}

std::string BootUpXml(const SimDevice& d) {
  std::string p;
  Line(p, 2, "MAC", d.macText);
  Line(p, 2, "IP", d.network.ip);
  Line(p, 2, "FW", d.firmware);
  return Wrap("BootUp", p);
}

bool ReadConfigItem(const SimDevice& d, const std::string& path, std::string* value) {
  const SimNetwork& n = d.network;
  const std::string leaf = NetworkLeaf(path);
  const std::map<std::string, std::string> network = {
      {"Type", n.dhcp ? "0" : "2"},        {"StaticIP", n.staticIp},
      {"DefaultGateway", n.staticGateway}, {"SubnetMask", n.staticNetmask},
      {"PrimaryDNS", n.staticPrimaryDns},  {"SecondaryDNS", n.staticSecondaryDns},
  };
  const std::map<std::string, std::string> status = {
      {"Config.Status.IP", n.ip},
      {"Config.Status.Gateway", n.gateway},
      {"Config.Status.Netmask", n.netmask},
      {"Config.Status.PrimaryDNS", n.primaryDns},
      {"Config.Status.SecondaryDNS", n.secondaryDns},
  };
  const auto& table = leaf.empty() ? status : network;
  if (auto it = table.find(leaf.empty() ? path : leaf); it != table.end()) {
    *value = it->second;
    return true;
  }
  if (auto it = d.extraConfig.find(path); it != d.extraConfig.end()) {
    *value = it->second;
    return true;
  }
  return false;
}

bool ApplyConfigItems(SimDevice* device, const std::vector<std::string>& items,
                      std::string* reason) {
  SimNetwork n = device->network;
  std::map<std::string, std::string> extra = device->extraConfig;
  for (const std::string& item : items) {
    const auto eq = item.find('=');
    if (eq == std::string::npos || eq == 0) {
      *reason = "malformed item: " + item;
      return false;
    }
    const std::string path = item.substr(0, eq);
    const std::string value = item.substr(eq + 1);
    const std::string leaf = NetworkLeaf(path);
    std::string* address = nullptr;
    if (leaf == "Type") {
      if (value != "0" && value != "2") {
        *reason = "unknown addressing type " + value;
        return false;
      }
      n.dhcp = value == "0";
      continue;
    }
    if (leaf == "StaticIP") address = &n.staticIp;
    if (leaf == "DefaultGateway") address = &n.staticGateway;
    if (leaf == "SubnetMask") address = &n.staticNetmask;
    if (leaf == "PrimaryDNS") address = &n.staticPrimaryDns;
    if (leaf == "SecondaryDNS") address = &n.staticSecondaryDns;
    if (address != nullptr) {
      if (!IsIpv4(value) && !(leaf == "SecondaryDNS" && value.empty())) {
        *reason = "invalid address for " + path + ": " + value;
        return false;
      }
      *address = value;
      continue;
    }
    if (path.rfind("Config.Status.", 0) == 0) {
      *reason = "read-only item " + path;
      return false;
    }
    extra[path] = value;
  }
  if (n.dhcp) {
    n.ip = device->dhcpLease.ip;
    n.gateway = device->dhcpLease.gateway;
    n.netmask = device->dhcpLease.netmask;
    n.primaryDns = device->dhcpLease.primaryDns;
    n.secondaryDns = device->dhcpLease.secondaryDns;
  } else {
    if (n.staticIp.empty() || n.staticNetmask.empty()) {
      *reason = "static addressing without an address or mask";
      return false;
    }
    n.ip = n.staticIp;
    n.gateway = n.staticGateway;
    n.netmask = n.staticNetmask;
    n.primaryDns = n.staticPrimaryDns;
    n.secondaryDns = n.staticSecondaryDns;
  }
  device->network = n;
  device->extraConfig = extra;
  return true;
}

void ResetToFactory(SimDevice* device, const std::string& defaultUser,
                    const std::string& defaultPassword) {
  device->network = device->dhcpLease;
  device->user = defaultUser;
  device->password = defaultPassword;
  device->extraConfig.clear();
}
