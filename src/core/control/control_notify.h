#pragma once

#include <string>
#include <vector>

struct MSG_ACK_T;

// What the control core tells windows about devices. Called on the core's worker thread while
// the notify lock is held: an implementation must not call AddNotify/RemoveNotify from inside,
// and must hand window changes to the UI thread without waiting for it.
class IControlNotify {
public:
  virtual ~IControlNotify() = default;
  // A device reported configuration items ("path=value" texts, empty ones left out).
  virtual void OnReportConfig(std::string deviceKey, std::string ip, int port,
                              const std::vector<std::string>* items) = 0;
  // A device reported that it has booted.
  virtual void OnDeviceBootUp(const std::string& deviceKey) = 0;
  // A device acknowledged a request (any acknowledge, also one nobody waits for in the core's
  // wait slot: the answer to an upgrade request). The fields are the device's own text.
  virtual void OnDeviceAck(const std::string& /*deviceKey*/, const MSG_ACK_T& /*ack*/) {}
};

// Base with empty handlers, so a window overrides only what it needs.
class CControlBaseNotify : public IControlNotify {
public:
  void OnReportConfig(std::string, std::string, int, const std::vector<std::string>*) override {}
  void OnDeviceBootUp(const std::string&) override {}
};
