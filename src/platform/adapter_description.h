#pragma once

#include <string>

// What an installer recognises an interface by: its name with the kind of link, and the driver
// of a physical card when the system names one:
//   "eth0 (Ethernet, e1000e)", "wlan0 (Wi-Fi, iwlwifi)", "veth1 (virtual)", "br0 (bridge)".
// Built from the interface's folder in sysfs (`sysClassNet`/<name>): "type" (the ARPHRD link
// type), "wireless" or "phy80211" (a Wi-Fi card), "uevent" (DEVTYPE of bridges, VLANs, bonds and
// the like), "device/driver" (a link to the driver of the card behind it), and where the
// interface's folder really lives (below /devices/virtual/ for software interfaces). The name
// alone when none of this is known.
std::string DescribeInterface(const std::string& name,
                              const std::string& sysClassNet = "/sys/class/net");
