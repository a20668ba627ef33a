#pragma once

#include <string>
#include <vector>

// Which adapter a capture device belongs to, by the settings "Interface" and "AdapterName".
// On Linux a capture device is named exactly like its interface, so "the adapter's name occurs
// in the device name" is an equality test (a substring test would let eth1 match veth1), and
// so is "AdapterName occurs in the device name". "Interface" = "All" lets every adapter
// through; an empty AdapterName matches every device. Returns the index of the first
// qualifying adapter name, or -1.
int PickAdapterIndex(const std::vector<std::string>& adapterNames, const std::string& deviceName,
                     const std::string& interfaceSetting, const std::string& adapterName);
