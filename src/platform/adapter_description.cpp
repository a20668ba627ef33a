#include "platform/adapter_description.h"

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// Link types of the kernel (include/uapi/linux/if_arp.h) that a user can name.
constexpr int kArphrdEther = 1;
constexpr int kArphrdInfiniband = 32;
constexpr int kArphrdPpp = 512;
constexpr int kArphrdIeee80211 = 801;
constexpr int kArphrdNone = 65534;  // tun devices and the like: IP without a link layer

std::string FirstLine(const fs::path& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

int LinkType(const fs::path& dir) {
  const std::string text = FirstLine(dir / "type");
  if (text.empty()) return -1;
  try {
    return std::stoi(text);
  } catch (...) {
    return -1;
  }
}

std::string UeventValue(const fs::path& dir, const std::string& key) {
  std::ifstream in(dir / "uevent");
  const std::string prefix = key + "=";
  for (std::string line; std::getline(in, line);) {
    if (line.compare(0, prefix.size(), prefix) == 0) return line.substr(prefix.size());
  }
  return std::string();
}

// The driver of the card behind the interface: the last part of the device/driver link.
std::string DriverName(const fs::path& dir) {
  std::error_code ec;
  const fs::path target = fs::read_symlink(dir / "device" / "driver", ec);
  if (ec) return std::string();
  return target.filename().string();
}

// Software interfaces (veth, bridges, tunnels, dummies) live below /devices/virtual/.
bool IsVirtual(const fs::path& dir) {
  std::error_code ec;
  const fs::path real = fs::canonical(dir, ec);
  if (ec) return false;
  return real.generic_string().find("/devices/virtual/") != std::string::npos;
}

std::string KindOfDevType(const std::string& devType) {
  if (devType == "wlan") return "Wi-Fi";
  if (devType == "bridge") return "bridge";
  if (devType == "vlan") return "VLAN";
  if (devType == "bond") return "bond";
  if (devType == "wireguard") return "WireGuard";
  if (devType == "wwan") return "mobile broadband";
  return std::string();
}

std::string KindOfLinkType(int type) {
  switch (type) {
    case kArphrdEther:
      return "Ethernet";
    case kArphrdIeee80211:
      return "Wi-Fi";
    case kArphrdInfiniband:
      return "InfiniBand";
    case kArphrdPpp:
      return "PPP";
    case kArphrdNone:
      return "tunnel";
    default:
      return std::string();
  }
}

}  // namespace

std::string DescribeInterface(const std::string& name, const std::string& sysClassNet) {
  // A name that could leave the folder is not looked up (interface names never hold '/').
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
    return name;
  const fs::path dir = fs::path(sysClassNet) / name;
  std::error_code ec;
  if (!fs::exists(dir, ec)) return name;

  std::string kind;
  const bool wireless = fs::exists(dir / "wireless", ec) || fs::exists(dir / "phy80211", ec);
  if (wireless) kind = "Wi-Fi";
  if (kind.empty()) kind = KindOfDevType(UeventValue(dir, "DEVTYPE"));
  const bool isVirtual = IsVirtual(dir);
  if (kind.empty() && isVirtual) kind = "virtual";
  if (kind.empty()) kind = KindOfLinkType(LinkType(dir));

  const std::string driver = isVirtual ? std::string() : DriverName(dir);
  std::string detail = kind;
  if (!driver.empty()) detail += detail.empty() ? driver : ", " + driver;
  return detail.empty() ? name : name + " (" + detail + ")";
}
