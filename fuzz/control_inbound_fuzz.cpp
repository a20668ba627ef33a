// Received datagrams through the control core's receive path: header, envelope, reply parsers
// and the table/notify updates. Input: 4 bytes nDataLen (little-endian), 6 bytes source MAC,
// then the datagram bytes (at most the record's 4160).
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/control/control.h"
#include "protocol/packet_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 10) return 0;
  // One instance for the whole run (no threads are started); the table is emptied now and then
  // so that it does not grow without bound.
  static CControl* control = new CControl();
  static int runs = 0;
  if (++runs % 1024 == 0) control->ClearDevices();

  static PACKET_RECORD_T record;
  std::memset(&record, 0, sizeof(record));
  int32_t length = 0;
  std::memcpy(&length, data, 4);
  std::memcpy(record.mac, data + 4, 6);
  const size_t bytes = std::min<size_t>(size - 10, sizeof(record.data));
  std::memcpy(record.data, data + 10, bytes);
  // Mostly the real length, sometimes whatever the input claims.
  record.nDataLen = (length & 0x80000000u) ? length : static_cast<int32_t>(bytes);
  std::memcpy(record.szIP, u"10.0.0.2", sizeof(u"10.0.0.2"));
  record.nPort = 8500;
  control->OnSocketMsg(&record);
  return 0;
}
