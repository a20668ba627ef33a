#include "core/common/device_sort.h"

#include <algorithm>
#include <cctype>

#include "shell/ipv4_text.h"

namespace {

int CompareIgnoringCase(const std::string& a, const std::string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const int ca = std::tolower(static_cast<unsigned char>(a[i]));
    const int cb = std::tolower(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

// -1/1 for a before/after b under an ascending (1) or descending (2) state.
int Directed(int order, int state) { return state == 2 ? -order : order; }

}  // namespace

bool CDeviceSort::ParseIPv4(const std::string& text, uint32_t* out) {
  return ParseIpv4(std::string_view(text), out);
}

int CDeviceSort::Compare(const DEVICE_ENTRY_T& a, const DEVICE_ENTRY_T& b, int ipState,
                         int modelState) {
  uint32_t ipA = 0;
  uint32_t ipB = 0;
  if (ipState != 0 && ParseIPv4(a.ip, &ipA) && ParseIPv4(b.ip, &ipB) && ipA != ipB) {
    return Directed(ipA < ipB ? -1 : 1, ipState);
  }
  if (modelState != 0) {
    const int order = CompareIgnoringCase(a.model, b.model);
    if (order != 0) return Directed(order, modelState);
  }
  return CompareIgnoringCase(a.mac, b.mac);
}

void CDeviceSort::Sort(std::vector<DEVICE_ENTRY_T>& devices, int ipState, int modelState) {
  std::stable_sort(devices.begin(), devices.end(),
                   [ipState, modelState](const DEVICE_ENTRY_T& a, const DEVICE_ENTRY_T& b) {
                     return Compare(a, b, ipState, modelState) < 0;
                   });
}
