// The site-problem check over a table made from the input: devices that share addresses, room
// numbers and kinds, MAC texts that differ only in case (one device), texts with '%' marks.
// Properties: every problem names only other devices (never the device itself in any case,
// only devices of the table), and an explanation stays within a size linear in the texts it is
// made of.
// Input: a byte for the number of subnets (0 to 3, each 5 bytes: address, prefix length), then
// per device: a control byte, then up to 0xFF-terminated texts for the MAC suffix and room.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "core/site/site_problems.h"

namespace {

class Input {
public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool Empty() const { return pos_ >= size_; }
  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  // Bytes up to 0xFF mapped into an alphabet that cannot spell the MAC frame ('M', '#', '$').
  std::string Text(size_t limit) {
    static const char kAlphabet[] = "%1%2aAbB0-9 .";
    std::string out;
    while (pos_ < size_ && data_[pos_] != 0xFF && out.size() < limit) {
      out += kAlphabet[data_[pos_++] % (sizeof(kAlphabet) - 1)];
    }
    if (pos_ < size_) ++pos_;
    return out;
  }

private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  std::vector<IPV4_SUBNET_T> subnets(in.Byte() % 4);
  size_t subnetText = 0;
  for (IPV4_SUBNET_T& s : subnets) {
    s.address = 0x0AD50000u | (uint32_t{in.Byte()} << 8) | in.Byte();
    const int prefix = in.Byte() % 33;
    s.mask = prefix == 0 ? 0 : ~uint32_t{0} << (32 - prefix);
    subnetText += CSiteProblems::SubnetText(s).size() + 2;
  }

  static const char* kModels[] = {"Door 700", "INDOOR monitor", "door", "", "Gate"};
  std::vector<DEVICE_ENTRY_T> table;
  std::set<std::string> macs;
  while (!in.Empty() && table.size() < 64) {
    const uint8_t control = in.Byte();
    DEVICE_ENTRY_T d;
    // "M<n>#<suffix>$": only a MAC itself (in any case) holds its own frame.
    d.mac = std::string(control & 0x20 ? "m" : "M") + std::to_string(control % 8) + "#" +
            in.Text(48) + "$";
    d.workMac = d.mac;
    d.ip = "10.213." + std::to_string(in.Byte() % 3) + "." + std::to_string(in.Byte() % 4);
    if (control & 0x40) d.ip = "not an address";
    d.model = kModels[(control >> 3) % 5];
    d.deviceId = in.Text(48);
    d.firmware = in.Text(16);
    if (!macs.insert(d.mac).second) continue;  // the table keys devices by their exact MAC
    table.push_back(std::move(d));
  }

  const SiteProblemMap problems = CSiteProblems::Compute(table, subnets);
  size_t longest = 0;
  for (const DEVICE_ENTRY_T& d : table) {
    longest = std::max({longest, d.mac.size(), d.ip.size(), d.deviceId.size(), d.firmware.size()});
  }
  for (const auto& [mac, list] : problems) {
    if (!macs.count(mac)) std::abort();  // a problem of a device not in the table
    const std::string self = Upper(mac);
    for (const SITE_PROBLEM_T& p : list) {
      for (const std::string& other : p.others) {
        if (!macs.count(other)) std::abort();    // names a device not in the table
        if (Upper(other) == self) std::abort();  // names the device itself
      }
      const std::string text = CSiteProblems::Explanation(p, subnets);
      if (Upper(text).find(self) != std::string::npos) std::abort();  // names itself
      // Five named others at most, each no longer than the longest text, plus the value and
      // the networks: linear in those, whatever the texts hold.
      if (text.size() > 400 + 8 * (6 * longest + subnetText)) std::abort();
    }
  }
  return 0;
}
