#pragma once

#include "shell/comm_udp.h"

// The single owner of the log channel. Created on first use with a closed channel, so lines
// logged before Init are dropped; never destroyed.
class CCommControl {
public:
  static CCommControl* GetInstance();

  virtual ~CCommControl() = default;

  // Opens the channel; ends the process when it cannot (see CCommUdp::Open). Returns 0.
  int Init();
  // Sends one datagram; -1 while the channel is closed.
  int Send(const void* data, int length);

  // The channel itself, for tests that point it at other ports before Init.
  CCommUdp& Channel() { return m_udp; }

private:
  CCommControl() = default;
  CCommUdp m_udp;
};
