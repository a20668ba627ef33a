#pragma once

#include <cstdint>

#include "shell/global_utils.h"

// The protocol version every request carries in its Protocal field.
inline constexpr const char* kProtocolVersion = "2.0";

// Request records. Text fields are UTF-16 arrays, sized in characters and zero-terminated inside
// the array; callers zero a record before filling it.

struct DISCOVER_REQ_T {
  int32_t nMsgSeq;          // printed as at least 10 digits
  char16_t szProtocal[16];  // kProtocolVersion
  char16_t szType[12];
  char16_t szDeviceID[64];
  char16_t szExtension[12];  // "-1"
  char16_t szFlag[12];       // "5"
  char16_t szReserved[12];   // not carried in the document
};
static_assert(sizeof(DISCOVER_REQ_T) == 260, "DISCOVER_REQ_T layout");

// Configuration items: used entries first, the first empty text ends the list.
struct CONFIG_MODULE_T {
  char16_t szItem[kConfigItemCount][kConfigItemChars];
};

// RequestConfig and UpdateConfig request; also the parsed configuration report.
struct REPORT_CONFIG_T {
  char16_t szProtocal[16];
  CONFIG_MODULE_T module;
};
static_assert(sizeof(REPORT_CONFIG_T) == 6176, "REPORT_CONFIG_T is 6176 bytes");

struct AUTHENTICATE_REQ_T {
  int32_t nUserType;  // 0 sends login type "Web", anything else an empty type
  char16_t szUser[64];
  char16_t szPwd[64];
  char16_t szUUID[64];  // random 32-character token, echoed by the answer
};
static_assert(sizeof(AUTHENTICATE_REQ_T) == 388, "AUTHENTICATE_REQ_T layout");

struct UPGRADE_SEND_T {
  char16_t szProtocal[16];
  char16_t szFirmwareVer[16];
  char16_t szFirmwareUrl[128];
};
static_assert(sizeof(UPGRADE_SEND_T) == 320, "UPGRADE_SEND_T layout");

constexpr int kRemoteControlItemCount = 8;
constexpr int kRemoteControlItemChars = 32;

struct REMOTE_CONTROL_T {
  char16_t szProtocal[16];
  char16_t szType[16];  // "Reboot" or "ResetToFactory"
  char16_t szItem[kRemoteControlItemCount][kRemoteControlItemChars];
};
static_assert(sizeof(REMOTE_CONTROL_T) == 576, "REMOTE_CONTROL_T layout");
