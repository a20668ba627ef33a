#include "transport/adapter_choice.h"

int PickAdapterIndex(const std::vector<std::string>& adapterNames, const std::string& deviceName,
                     const std::string& interfaceSetting, const std::string& adapterName) {
  const bool all = interfaceSetting == "All";
  for (size_t i = 0; i < adapterNames.size(); ++i) {
    if (adapterNames[i] != deviceName) continue;
    if (all || adapterName.empty() || adapterName == deviceName) return static_cast<int>(i);
  }
  return -1;
}
