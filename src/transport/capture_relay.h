#pragma once

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "transport/capture_failure.h"
#include "transport/capture_open.h"

// The program's side of the capture helper (src/capture): starts it for one interface and
// speaks to it over a socket pair. One thread runs ReceiveLoop; any thread may Inject or ask
// for the counters, which wait for the helper's answer that the receive loop hands over.
class CCaptureRelay {
public:
  // Starts helperPath for the interface and waits for it to open the capture. Null, with the
  // reason (its adapter and helper filled in), when it cannot run or cannot capture.
  static std::unique_ptr<CCaptureRelay> Start(const std::string& helperPath,
                                              const std::string& interfaceName,
                                              CaptureTraffic traffic, CaptureFailure* failure);
  ~CCaptureRelay();
  CCaptureRelay(const CCaptureRelay&) = delete;
  CCaptureRelay& operator=(const CCaptureRelay&) = delete;

  using FrameHandler = std::function<void(const uint8_t* frame, int captured, int wireLength)>;
  using CountersHandler = std::function<void(const CaptureCounters& counters)>;
  // Hands every frame to onFrame, and the counters the helper reports by itself (when drops,
  // truncations or refusals change) to onCounters, until Shutdown or the helper's end. Returns
  // false when the helper went away on its own.
  bool ReceiveLoop(const FrameHandler& onFrame, const CountersHandler& onCounters);
  // Ends ReceiveLoop; the helper sees the end of the socket and exits.
  void Shutdown();

  // 0 when the helper injected the frame; kRefused when it refused it as not one of the
  // program's frames; -1 when it could not send it or did not answer.
  static constexpr int kRefused = -2;
  int Inject(const uint8_t* frame, int length);
  // The helper's counters, asked for now; false when it does not answer.
  bool ReadCounters(CaptureCounters* counters);

  pid_t HelperPid() const { return pid_; }

private:
  CCaptureRelay(int fd, pid_t pid) : fd_(fd), pid_(pid) {}
  // Sends a request and waits for the answer with its sequence number.
  bool Ask(uint8_t type, const uint8_t* body, int length, std::string* answer);

  int fd_;
  pid_t pid_;
  std::atomic<bool> shutDown_{false};
  std::mutex askMutex_;  // one request at a time
  std::mutex answerMutex_;
  std::condition_variable answered_;
  uint32_t nextSequence_ = 1;
  uint32_t answerSequence_ = 0;
  std::string answer_;
  bool helperGone_ = false;
};
