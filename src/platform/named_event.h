#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

// An event known by name inside this process, so that a thread can signal a waiter that it only
// knows by an identifier (the authenticate wait names its event after the request's UUID).
// The name lives as long as some handle to the event does; Open finds it only then.
//
//   auto ev = CNamedEvent::Create(uuid, /*manualReset=*/true, /*initialState=*/false);
//   ... send the request ...
//   bool answered = ev->Wait(5000);
//   // other thread:  if (auto ev = CNamedEvent::Open(uuid)) ev->Set();
class CNamedEvent {
public:
  // A new event under `name`, or the existing one when the name is taken (like the OS call).
  static std::shared_ptr<CNamedEvent> Create(const std::string& name, bool manualReset,
                                             bool initialState);
  // The live event of that name, or null.
  static std::shared_ptr<CNamedEvent> Open(const std::string& name);

  ~CNamedEvent();
  CNamedEvent(const CNamedEvent&) = delete;
  CNamedEvent& operator=(const CNamedEvent&) = delete;

  void Set();
  void Reset();
  // true when signalled within timeoutMs (negative = no limit). An auto-reset event is reset by
  // the wait that it releases.
  bool Wait(int timeoutMs);

  const std::string& Name() const { return m_name; }

private:
  CNamedEvent(std::string name, bool manualReset, bool initialState);

  std::string m_name;
  bool m_manualReset;
  bool m_signalled;
  std::mutex m_mutex;
  std::condition_variable m_cond;
};
