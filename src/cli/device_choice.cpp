#include "cli/device_choice.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "core/control.h"
#include "core/device_lookup.h"
#include "core/device_sort.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kDiscoveryInterval = std::chrono::seconds(5);

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

void ChooseDevices(const DeviceChoice& choice, std::vector<DEVICE_ENTRY_T>* chosen,
                   std::string* missing) {
  const std::vector<DEVICE_ENTRY_T> table = CControl::GetInstance()->GetDeviceList();
  chosen->clear();
  missing->clear();
  if (choice.all) {
    for (const DEVICE_ENTRY_T& d : table) {
      if (choice.model.empty() || EqualsIgnoringCase(d.model, choice.model)) chosen->push_back(d);
    }
    CDeviceSort::Sort(*chosen, 1, 0);  // IP ascending, as the selection dialog opens
    return;
  }
  for (const std::string& name : choice.names) {
    const DEVICE_ENTRY_T* found = FindDeviceByName(table, name);
    if (found == nullptr) {
      *missing = name;
      return;
    }
    const DEVICE_ENTRY_T& device = *found;
    const bool twice = std::any_of(chosen->begin(), chosen->end(),
                                   [&](const DEVICE_ENTRY_T& d) { return d.mac == device.mac; });
    if (!twice) chosen->push_back(device);
  }
}

void DiscoverChosen(const DeviceChoice& choice, std::vector<DEVICE_ENTRY_T>* chosen,
                    std::string* missing) {
  CControl* control = CControl::GetInstance();
  const auto end = Clock::now() + std::chrono::seconds(choice.seconds);
  auto nextDiscovery = Clock::now();
  while (true) {
    if (Clock::now() >= nextDiscovery) {
      control->MulticastDiscoveryMsg();
      nextDiscovery += kDiscoveryInterval;
    }
    ChooseDevices(choice, chosen, missing);
    const bool complete = choice.all ? choice.expect > 0 && control->GetDeviceList().size() >=
                                                                static_cast<size_t>(choice.expect)
                                     : missing->empty();
    if (complete || Clock::now() >= end) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}
