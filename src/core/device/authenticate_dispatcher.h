#pragma once

#include <memory>
#include <string>

class CControl;
struct COMMON_ACK_T;

// The control core keeps one authenticate callback for the whole process. This object installs
// it and ties each answer to the one request waiting for it, by the request's identifier:
// an answer whose identifier no request is waiting for (late, foreign, or repeated) is dropped.
//
// The callback holds only shared state, never this object, so a worker thread that is inside
// the callback while the owner goes away touches nothing freed. The destructor removes the
// callback from the core.
// `length` characters of [A-Za-z0-9] from the system's random source (getrandom), for the
// identifier of an authenticate request.
std::string UnpredictableIdentifier(int length);

class CAuthenticateDispatcher {
public:
  explicit CAuthenticateDispatcher(CControl& control);
  ~CAuthenticateDispatcher();
  CAuthenticateDispatcher(const CAuthenticateDispatcher&) = delete;
  CAuthenticateDispatcher& operator=(const CAuthenticateDispatcher&) = delete;

  // A fresh identifier of `length` characters taken from the system's random source. The answer
  // is matched to the request by it, so a forger who never sees the request must not be able to
  // compute it (a generator seeded with the time would let him accept a wrong password). A text
  // this dispatcher has handed out recently is still changed in its tail until it is new: an
  // answer to an earlier request must never match a later one.
  std::string NewIdentifier(int length);

  // Opens the wait for the answer carrying `identifier` (replacing an open one of that name).
  void Open(const std::string& identifier);
  // Whether that answer has arrived; *accepted tells its result (nResult 0).
  bool Answered(const std::string& identifier, bool* accepted) const;
  // Closes the wait; an answer arriving afterwards is dropped.
  void Close(const std::string& identifier);

  // What the core's worker thread calls for every authenticate answer.
  void OnAuthenticateAck(COMMON_ACK_T* ack);

  struct State;

private:
  CControl& m_control;
  std::shared_ptr<State> m_state;
};
