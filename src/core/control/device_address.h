#pragma once

#include "core/common/device_entry.h"
#include "protocol/packet_record.h"

// Addresses a record to send to one device: its IP text, its work MAC read as hexadecimal pairs
// (first pair first; missing pairs stay 0) and the device port.
void AddressToDevice(PACKET_RECORD_T* packet, const DEVICE_ENTRY_T& device);
