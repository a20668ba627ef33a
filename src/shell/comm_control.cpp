#include "shell/comm_control.h"

CCommControl* CCommControl::GetInstance() {
  static CCommControl* instance = new CCommControl();
  return instance;
}

int CCommControl::Init() { return m_udp.Open(); }

int CCommControl::Send(const void* data, int length) { return m_udp.Send(data, length); }
