#pragma once

#include <atomic>
#include <cstdint>

#include "shell/comm_base.h"

// Loopback UDP channel of the log lines: bound to 127.0.0.1 on the first free port of a small
// range (122..137: up to 16 instances side by side), or on a port the system picks when none of
// them can be bound (taken, or no right to bind low ports), sending to the viewer on
// 127.0.0.1:106.
class CCommUdp : public CCommBase {
public:
  static constexpr int kFirstLocalPort = 122;
  static constexpr int kLocalPortCount = 16;
  static constexpr int kViewerPort = 106;

  // Called when the socket cannot be created or bound to any port, with the
  // message text and the caption "ERROR"; the process exits with code 0 after it returns.
  // The default prints "ERROR: <text>" on stderr. A window layer may install a message box.
  using FatalErrorHandler = void (*)(const char* text, const char* caption);
  static void SetFatalErrorHandler(FatalErrorHandler handler);

  CCommUdp() = default;
  // Other port numbers, for tests that must not need the privileged ports.
  CCommUdp(int firstLocalPort, int localPortCount, int viewerPort);
  ~CCommUdp() override;
  CCommUdp(const CCommUdp&) = delete;
  CCommUdp& operator=(const CCommUdp&) = delete;

  // Binds or ends the process through the fatal error handler. Returns 0.
  int Open() override;
  // Same without ending the process: 0, kOpenSocketFailed or kOpenBindFailed.
  static constexpr int kOpenSocketFailed = -1;
  static constexpr int kOpenBindFailed = -2;
  int TryOpen();

  int Receive(void* buffer, int length) override;  // returns 0, reads nothing
  // One datagram to the viewer. The length when all bytes were sent; -1 when closed or failed.
  int Send(const void* data, int length) override;
  // Several datagrams to the viewer in one system call, in order. The number handed over
  // (datagrams after a failed one are not sent); -1 when the channel is closed.
  int SendMany(const uint8_t* const* datagrams, const int* lengths, int count);
  int Close() override;
  // Changes whenever the channel closes or opens: a line queued for one opening of the channel
  // is not sent on the next (tests point it at another viewer in between).
  uint64_t Generation() const { return m_generation.load(); }

  // Must be called before Open.
  void SetPorts(int firstLocalPort, int localPortCount, int viewerPort);
  bool IsOpen() const { return m_socket.load() >= 0; }
  int LocalPort() const { return m_localPort; }
  int ViewerPort() const { return m_viewerPort; }

private:
  std::atomic<int> m_socket{-1};
  std::atomic<uint64_t> m_generation{0};
  int m_localPort = 0;
  int m_firstLocalPort = kFirstLocalPort;
  int m_localPortCount = kLocalPortCount;
  int m_viewerPort = kViewerPort;
};
