#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

// Holds a local UDP port for as long as the object lives: a socket bound to 0.0.0.0:port whose
// datagrams a thread of its own reads and throws away. The capture reads the devices' answers to
// the program's port; without a socket on it, the kernel answers each of them with an ICMP
// "port unreachable", so the computer would send frames of its own onto the device segment.
//
// Nothing needs privilege (the port is above 1023). When another program holds the port, Held()
// is false and BindError() is EADDRINUSE; the capture works all the same, only the kernel's ICMP
// answers are then up to that program's socket.
class CUdpPortHold {
public:
  explicit CUdpPortHold(uint16_t port);
  ~CUdpPortHold();  // closes the socket and ends the thread
  CUdpPortHold(const CUdpPortHold&) = delete;
  CUdpPortHold& operator=(const CUdpPortHold&) = delete;

  bool Held() const { return m_socket >= 0; }
  int BindError() const { return m_error; }  // errno of the failed socket or bind, else 0
  uint64_t Discarded() const { return m_discarded; }

private:
  void Drain();

  int m_socket = -1;
  int m_wake = -1;  // eventfd that ends the thread
  int m_error = 0;
  std::atomic<uint64_t> m_discarded{0};
  std::thread m_thread;
};
