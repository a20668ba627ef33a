#pragma once

#include <cstdint>

#include "protocol/request_records.h"  // REPORT_CONFIG_T is also the parsed configuration report

// Reply records, filled by the parsers. Text fields are UTF-16 arrays sized in characters and
// always zero-terminated inside the array (longer element texts are cut to fit). The parsers zero
// the record first, so a missing element leaves its field empty or 0.

struct DISCOVER_ACK_T {
  int32_t nMsgSeq;
  char16_t szProtocal[16];
  char16_t szType[12];
  char16_t szDeviceID[64];
  char16_t szExtension[12];
  char16_t szIP[16];
  char16_t szFW[16];
  char16_t szDeviceName[64];
  char16_t szRTSP[128];
  char16_t szFlag[12];
  char16_t szDiscoverMethod[12];
  char16_t szDeviceCode[12];
  char16_t szMAC[20];
  char16_t szWorkMAC[20];
  char16_t szModel[64];
};
static_assert(sizeof(DISCOVER_ACK_T) ==
                  4 + 2 * (16 + 12 + 64 + 12 + 16 + 16 + 64 + 128 + 12 + 12 + 12 + 20 + 20 + 64),
              "DISCOVER_ACK_T layout");

// Authenticate answer; nResult 0 means the user was accepted.
struct COMMON_ACK_T {
  int32_t nResult;
  char16_t szUUID[64];
  char16_t szDesc[256];
};
static_assert(sizeof(COMMON_ACK_T) == 644, "COMMON_ACK_T layout");

// Acknowledge of a request; szResult "OK" means success.
struct MSG_ACK_T {
  char16_t szProtocal[16];
  char16_t szMsgID[32];
  char16_t szMsgCRC[32];  // decimal number as text
  char16_t szResult[32];
  char16_t szInfo[256];
};
static_assert(sizeof(MSG_ACK_T) == 736, "MSG_ACK_T is 736 bytes");
