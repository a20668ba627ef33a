#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "core/common/device_entry.h"

class CControl;
class IOpClock;

// DEVICE on the command line: a MAC address in any spelling (upper or lower case, with or
// without ':' or '-') or a dotted IPv4 address.
struct DeviceTarget {
  std::string compactMac;  // 12 upper-case hexadecimal digits, or empty
  std::string ip;          // canonical dotted form (010.0.0.1 reads 10.0.0.1), or empty
};

// Nothing when the text is neither a MAC nor an IPv4 address.
std::optional<DeviceTarget> ParseDeviceTarget(const std::string& text);

// Whether a discovered device is the one named: by its IP address (compared as an address, not
// as text), or by its MAC in any spelling (byWorkMac: by the work MAC its frames come from
// instead).
bool MatchesTarget(const DeviceTarget& target, const DEVICE_ENTRY_T& device, bool byWorkMac);

// The first device the target names: by IP, else by its reported MAC, else by its work MAC.
const DEVICE_ENTRY_T* FindTarget(const std::vector<DEVICE_ENTRY_T>& devices,
                                 const DeviceTarget& target);
// FindTarget for a name as typed; null when the name is neither a MAC nor an IP address or no
// device matches.
const DEVICE_ENTRY_T* FindDeviceByName(const std::vector<DEVICE_ENTRY_T>& devices,
                                       const std::string& name);

// The distinct MACs (as the devices report them, in table order) of the devices answering for
// the target's IP address; empty when the target names a MAC.
std::vector<std::string> IpClaimants(const std::vector<DEVICE_ENTRY_T>& devices,
                                     const DeviceTarget& target);

// Sends discoveries (at once, then every second, so a lost request or answer costs one second)
// until the named device is in the control core's table or `limit` has passed; the table is
// looked at every 20 ms.
//
// An IP address may be claimed by more than one device (a duplicate address, or a forger). Once a
// device answers for it, the lookup goes on for kIpSettle; when by then more than one MAC answers
// for the address, nothing is returned and *ambiguous (when given) lists their MAC texts: a
// password must never go to whichever of them happened to answer first.
inline constexpr std::chrono::milliseconds kIpSettle{1000};
std::optional<DEVICE_ENTRY_T> DiscoverTarget(CControl& control, IOpClock& clock,
                                             const DeviceTarget& target,
                                             std::chrono::milliseconds limit,
                                             std::vector<std::string>* ambiguous = nullptr);
