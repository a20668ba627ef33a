#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/common/device_entry.h"

// Ordering of device rows as the device list shows them. Sort states: 0 off, 1 ascending,
// 2 descending. The IP key compares addresses numerically when both texts are dotted IPv4
// addresses, then the model key ignoring case, then the MAC texts ignoring case (ascending).
class CDeviceSort {
public:
  // ParseIpv4 (shell/ipv4_text.h) under the name the list's sort uses.
  static bool ParseIPv4(const std::string& text, uint32_t* out);
  // Negative when a goes first, positive when b does, 0 when every key ties.
  static int Compare(const DEVICE_ENTRY_T& a, const DEVICE_ENTRY_T& b, int ipState, int modelState);
  static void Sort(std::vector<DEVICE_ENTRY_T>& devices, int ipState, int modelState);
};
