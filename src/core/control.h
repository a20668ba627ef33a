#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/device_entry.h"

class IControlNotify;
struct PACKET_RECORD_T;
struct MSG_ACK_T;
struct COMMON_ACK_T;
struct REPORT_CONFIG_T;

// Message classes: the message code with its low 16 bits cleared.
constexpr int MSG_CLASS_TIMER = 0x10000;
constexpr int MSG_CLASS_SOCKET = 0x20000;
constexpr int MSG_CLASS_SOCKET_ALT = 0x30000;
constexpr int MSG_CLASS_CTRL = 0x40000;

// The single object between the windows and the devices: a FIFO message queue drained by one
// worker thread, a one-second tick thread, the device table, the notify list, the acknowledge
// wait slot and the operations that send requests to devices.
//
// CONTRACT DRAFT: the public operations below are what other layers code against. The owner of
// this file fills in the private members and may add to the public part.
class CControl {
public:
  static CControl* GetInstance();

  // Opens the log channel, starts the tick and worker threads, initialises the transport,
  // logs "Init successs." and returns 0.
  int Init();

  // Queues a copy of data (when data is not null and length > 0). 0 when queued, -1 otherwise.
  int PostMsg(int message, int param1, int param2, const void* data, int length);

  // Device table (any thread; copies in and out under the device lock).
  std::vector<DEVICE_ENTRY_T> GetDeviceList() const;
  bool FindDevice(const std::string& mac, DEVICE_ENTRY_T* out) const;
  void UpdateDevice(const DEVICE_ENTRY_T& entry);
  void RemoveDevice(const std::string& mac);
  void ClearDevices();

  // Notify list (any thread).
  bool AddNotify(IControlNotify* notify);
  bool RemoveNotify(IControlNotify* notify);

  // Wait slot and authenticate callback.
  void SetAuthenticateCallback(std::function<void(COMMON_ACK_T*)> callback);
  void SetWaitMacAndCrc(const std::string& deviceKey, uint16_t crc);
  int GetWaitAck(MSG_ACK_T* out);

  // Outbound device operations (items: the 32 x 96 configuration item texts).
  void MulticastDiscoveryMsg();
  void SendRequestConfigMsg(const DEVICE_ENTRY_T* device, const char16_t (*items)[96]);
  void SendUpdateConfigMsg(const DEVICE_ENTRY_T* device, const char16_t (*items)[96]);

  // Worker-thread side.
  int DispatchMsg(int message, int param1, int param2, const uint8_t* data);
  int OnTimerMsg(int param1);
  int OnSocketMsg(const PACKET_RECORD_T* record);
  int OnAckMsg(const std::string& deviceKey, int checkValue, const MSG_ACK_T* ack);
  int OnReportConfigMsg(const std::string& deviceKey, const char* ip, int port,
                        const REPORT_CONFIG_T* report);
};
