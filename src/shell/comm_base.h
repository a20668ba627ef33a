#pragma once

// An abstract datagram channel.
class CCommBase {
public:
  virtual ~CCommBase() = default;
  virtual int Open() = 0;
  virtual int Receive(void* buffer, int length) = 0;
  virtual int Send(const void* data, int length) = 0;
  virtual int Close() = 0;
};
