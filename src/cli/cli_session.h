#pragma once

#include <string>

// Brings up what a command needs to talk to devices: the log channel, the control core's
// threads and the capture on one adapter. Ends everything again in the destructor (capture
// threads first, then the core after it has handled what was already received).
class CCliSession {
public:
  CCliSession() = default;
  ~CCliSession();
  CCliSession(const CCliSession&) = delete;
  CCliSession& operator=(const CCliSession&) = delete;

  // 0 when the capture runs; otherwise the exit code (no adapter, no capture rights) with a
  // message already written to standard error.
  // captureArp: ARP frames are captured too and reach the transport's frame tap.
  int Open(const std::string& interfaceName, bool captureArp = false);
  // Stops receiving and lets the core finish the queue. Safe to call twice.
  void Close();

private:
  bool open_ = false;
};
