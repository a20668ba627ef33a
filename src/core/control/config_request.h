#pragma once

#include "core/common/device_entry.h"
#include "protocol/packet_record.h"
#include "protocol/request_records.h"

// The update request (write configuration) to one device, built into packet and addressed to
// it: the protocol version, the items, the datagram from the message facade keyed by the MAC
// text the device reported (not its work MAC). False, with a log line, when the facade cannot
// build it. Every update the program sends is made here: the control core's
// SendUpdateConfigMsg and the device operations' UpdateConfig, which waits for the acknowledge
// and sends the same packet again.
bool BuildUpdateRequest(const DEVICE_ENTRY_T& device, const char16_t (*items)[kConfigItemChars],
                        PACKET_RECORD_T* packet, const char* logName);
