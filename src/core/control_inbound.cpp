// Inbound device messages: placeholder bodies until the inbound handling lands.
#include "core/control.h"

int CControl::OnSocketMsg(const PACKET_RECORD_T*) { return -1; }
int CControl::OnAckMsg(const std::string&, int, const MSG_ACK_T*) { return -1; }
int CControl::OnReportConfigMsg(const std::string&, const char*, int, const REPORT_CONFIG_T*) {
  return -1;
}
