#include "core/control/device_address.h"

#include "shell/global_utils.h"
#include "transport/udp_frame.h"

void AddressToDevice(PACKET_RECORD_T* packet, const DEVICE_ENTRY_T& device) {
  CGlobalUtils::Utf8ToWide(device.ip.c_str(), packet->szIP, kPacketIpChars);
  CGlobalUtils::MacTextToBytes(device.workMac.c_str(), packet->mac);
  packet->nPort = kDevicePort;
}
