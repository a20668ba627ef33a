// Outbound device operations: placeholder bodies until the outbound handling lands.
#include "core/control.h"

void CControl::MulticastDiscoveryMsg() {}
void CControl::SendRequestConfigMsg(const DEVICE_ENTRY_T*, const char16_t (*)[96]) {}
void CControl::SendUpdateConfigMsg(const DEVICE_ENTRY_T*, const char16_t (*)[96]) {}
