// Outbound device operations: the discovery multicast and the two configuration requests. Each
// fills a request record, has the facade build the datagram into a packet record, writes the
// destination and hands the record to the transport. None waits for an answer.
#include <atomic>
#include <cstring>
#include <mutex>

#include "core/control/config_request.h"
#include "core/control/control.h"
#include "core/control/control_outbound_hooks.h"
#include "core/control/device_address.h"
#include "protocol/discover_request.h"
#include "protocol/msg_facade.h"
#include "protocol/msg_handle.h"
#include "protocol/packet_record.h"
#include "protocol/request_records.h"
#include "protocol/text_field.h"
#include "shell/global_utils.h"
#include "shell/log.h"
#include "transport/mac_proto_control.h"
#include "transport/udp_frame.h"

namespace {

constexpr char16_t kMulticastGroup[] = u"238.8.8.1";
constexpr uint8_t kMulticastMac[6] = {0x01, 0x00, 0x5E, 0x08, 0x08, 0x01};

// 0 at start; flipped after every successful discovery build: 0 builds the bare envelope
// (encType 2), 1 the prefixed one (encType 3).
std::atomic<int> g_discoveryToggle{0};

std::mutex g_hooksLock;
OutboundHooks g_hooks;

OutboundHooks CurrentHooks() {
  std::lock_guard<std::mutex> lock(g_hooksLock);
  return g_hooks;
}

void Deliver(const PACKET_RECORD_T* packet) {
  SendOutbound(packet);  // the result is not looked at
}

using ConfigBuilder = int (CMsgFacade::*)(PACKET_RECORD_T*, const REPORT_CONFIG_T*,
                                          const std::string&);

bool BuildConfigRequest(const char* operation, const char* buildName, ConfigBuilder build,
                        const DEVICE_ENTRY_T& device, const char16_t (*items)[kConfigItemChars],
                        PACKET_RECORD_T* packet) {
  REPORT_CONFIG_T request;
  std::memset(&request, 0, sizeof(request));
  Utf8ToField(kProtocolVersion, request.szProtocal);
  std::memcpy(request.module.szItem, items, sizeof(request.module.szItem));

  std::memset(packet, 0, sizeof(*packet));
  // The facade key is the MAC text the device reported, not its work MAC.
  if ((CMsgFacade::GetInstance()->*build)(packet, &request, device.mac) != 0) {
    LogError("%s: %s failed.", operation, buildName);
    return false;
  }
  AddressToDevice(packet, device);
  return true;
}

void SendConfigRequest(const char* operation, const char* buildName, ConfigBuilder build,
                       const DEVICE_ENTRY_T* device, const char16_t (*items)[kConfigItemChars]) {
  if (device == nullptr || items == nullptr) {
    LogError("%s: no device or no items.", operation);
    return;
  }
  PACKET_RECORD_T packet;
  if (BuildConfigRequest(operation, buildName, build, *device, items, &packet)) Deliver(&packet);
}

}  // namespace

bool BuildUpdateRequest(const DEVICE_ENTRY_T& device, const char16_t (*items)[kConfigItemChars],
                        PACKET_RECORD_T* packet, const char* logName) {
  return BuildConfigRequest(logName, "BuildUpdateConfigMsg", &CMsgFacade::BuildUpdateConfigMsg,
                            device, items, packet);
}

int SendOutbound(const PACKET_RECORD_T* packet) {
  const OutboundHooks hooks = CurrentHooks();
  if (!hooks.send) return CMacProtoControl::GetInstance()->Send(packet);
  hooks.send(packet);
  return hooks.sendFails ? -1 : 0;
}

void SetOutboundHooks(OutboundHooks hooks) {
  std::lock_guard<std::mutex> lock(g_hooksLock);
  g_hooks = std::move(hooks);
}

void ResetDiscoveryAlternation() { g_discoveryToggle = 0; }

bool CControl::DiscoverOnSchedule(CDiscoverySchedule& schedule, std::chrono::milliseconds elapsed) {
  const CDiscoverySchedule::Send send = schedule.Due(elapsed);
  if (send == CDiscoverySchedule::Send::kNothing) return false;
  MulticastDiscoveryMsg(send == CDiscoverySchedule::Send::kNewRound);
  return true;
}

void CControl::MulticastDiscoveryMsg(bool beginsRound) {
  const DISCOVER_REQ_T request = MakeDiscoverRequest();

  const int encType = g_discoveryToggle == 1 ? kEncTypePrefixed : kEncTypeBare;
  PACKET_RECORD_T packet;
  std::memset(&packet, 0, sizeof(packet));
  const OutboundHooks hooks = CurrentHooks();
  const int built = hooks.buildDiscover
                        ? hooks.buildDiscover(&packet, &request, encType)
                        : CMsgFacade::GetInstance()->BuildDiscoverMsg(&packet, &request, encType);
  if (built != 0) {
    // The alternation does not advance: the next call tries the same envelope again.
    LogError("%s: BuildDiscoverMsg failed.", "CControl::MulticastDiscoveryMsg");
    return;
  }
  g_discoveryToggle ^= 1;

  std::memcpy(packet.szIP, kMulticastGroup, sizeof(kMulticastGroup));
  std::memcpy(packet.mac, kMulticastMac, sizeof(kMulticastMac));
  packet.nPort = kDevicePort;
  if (beginsRound) m_deviceStatus.BeginRound();
  Deliver(&packet);
}

void CControl::SendRequestConfigMsg(const DEVICE_ENTRY_T* device, const char16_t (*items)[96]) {
  SendConfigRequest("CControl::SendRequestConfigMsg", "BuildRequestConfigMsg",
                    &CMsgFacade::BuildRequestConfigMsg, device, items);
}

void CControl::SendUpdateConfigMsg(const DEVICE_ENTRY_T* device, const char16_t (*items)[96]) {
  if (device == nullptr || items == nullptr) {
    LogError("%s: no device or no items.", "CControl::SendUpdateConfigMsg");
    return;
  }
  PACKET_RECORD_T packet;
  if (BuildUpdateRequest(*device, items, &packet, "CControl::SendUpdateConfigMsg"))
    Deliver(&packet);
}
