#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string_view>
#include <thread>

#include "shell/log_record.h"

// The log lines on their way to the viewer. A caller only builds its line's datagram into a
// slot of a fixed ring (no allocation, no system call); one sender thread hands what has
// gathered to the channel in batches. Lines keep their order, and none is dropped: a caller
// that finds the ring full waits for room. What is queued at exit is sent before the process
// ends (std::exit and a return from main).
class CLogQueue {
public:
  static CLogQueue* GetInstance();  // created on first use, never destroyed

  // Queues one line when the log channel is open; lines while it is closed are dropped, as
  // sending them would be. False when dropped. Callers ask ViewerMayListen first (the logging
  // calls do so before they compose a line).
  bool Post(int level, std::string_view utf8Text);
  // Whether any socket has the viewer's port: a line to a port nobody has bound is lost in the
  // kernel, after a loopback delivery and an ICMP error (a busy segment logs tens of thousands
  // of lines a second, and nobody watches most runs). Looked up again every 100 ms and at each
  // opening of the channel (every 10 ms in its first second), so a viewer started meanwhile
  // misses at most 100 ms of lines.
  bool ViewerMayListen();
  // Waits (at most about two seconds) until every line queued so far has been handed over.
  void Flush();

  static constexpr int kSlots = 1024;  // about 1 MB of datagrams

private:
  struct Slot {
    uint64_t generation;  // the channel's opening the line was written in
    int length;
    uint8_t bytes[kLogDatagramMaxBytes];
  };

  CLogQueue();
  void SenderLoop();

  static constexpr int64_t kViewerCheckMs = 100;
  std::mutex viewerLookLock_;
  std::atomic<bool> viewerListens_{true};
  std::atomic<int64_t> viewerCheckedMs_{0};
  std::atomic<int64_t> viewerOpenedMs_{0};
  std::atomic<uint64_t> viewerGeneration_{0};  // the channel's opening the look was for

  std::mutex lock_;
  std::condition_variable queued_;   // a line arrived while the sender slept
  std::condition_variable drained_;  // the sender handed lines over
  Slot* slots_;
  int head_ = 0;   // oldest line not yet handed over
  int count_ = 0;  // lines queued, including those being handed over
  bool senderAsleep_ = false;
  bool started_ = false;
};
