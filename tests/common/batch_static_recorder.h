#pragma once
// What a batch static run sends, recorded instead of sent, and the reports devices give it:
// shared by the core's run tests and the progress window's tests.

#include <string>
#include <vector>

#include "core/batch/batch_static_run.h"
#include "shell/global_utils.h"

namespace batch_test {

using ItemList = std::vector<std::string>;

inline ItemList ItemsOf(const char16_t (*items)[kConfigItemChars]) {
  ItemList out;
  for (int i = 0; i < kConfigItemCount && items[i][0] != 0; ++i)
    out.push_back(CGlobalUtils::ToUtf8(items[i]));
  return out;
}

struct Sent {
  std::string mac;
  ItemList items;
};

// Records every request and update the run sends, in order.
struct Recorder {
  std::vector<Sent> requests;
  std::vector<Sent> updates;
  BatchStaticSender Sender() {
    BatchStaticSender sender;
    sender.requestConfig = [this](const DEVICE_ENTRY_T& d,
                                  const char16_t(*items)[kConfigItemChars]) {
      requests.push_back({d.mac, ItemsOf(items)});
    };
    sender.updateConfig = [this](const DEVICE_ENTRY_T& d,
                                 const char16_t(*items)[kConfigItemChars]) {
      updates.push_back({d.mac, ItemsOf(items)});
    };
    return sender;
  }
};

inline DEVICE_ENTRY_T Device(const std::string& ip, const std::string& mac,
                             const std::string& workMac = "") {
  return DEVICE_ENTRY_T{ip, mac, workMac.empty() ? mac : workMac, "IM-700", "1-0101", "105.30.1.1"};
}

// What a DHCP device reports for the start request: the six items, the secondary DNS last.
inline ItemList FullReport(const std::string& type = "0", const std::string& ip = "10.0.0.99",
                           const std::string& secondaryDns = "") {
  return {"Config.Network.LAN.Type=" + type,     "Config.Status.IP=" + ip,
          "Config.Status.Gateway=10.0.0.254",    "Config.Status.Netmask=255.255.0.0",
          "Config.Status.PrimaryDNS=10.0.0.253", "Config.Status.SecondaryDNS=" + secondaryDns};
}

// A report cut short: without its last item (the secondary DNS).
inline ItemList ShortReport(const std::string& type = "0") {
  ItemList items = FullReport(type);
  items.pop_back();
  return items;
}

}  // namespace batch_test
