#include "shell/log_queue.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>

#include "platform/udp_port_listener.h"
#include "shell/comm_control.h"

namespace {

constexpr int kBatch = 64;
constexpr auto kGatherTime = std::chrono::milliseconds(1);

}  // namespace

CLogQueue* CLogQueue::GetInstance() {
  static CLogQueue* instance = new CLogQueue();
  return instance;
}

CLogQueue::CLogQueue() : slots_(new Slot[kSlots]) {}

namespace {

int64_t CoarseNowMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

}  // namespace

bool CLogQueue::ViewerMayListen() {
  CCommUdp& channel = CCommControl::GetInstance()->Channel();
  const uint64_t generation = channel.Generation();
  const int64_t now = CoarseNowMs();
  // In the first second of an opening the viewer may still be on its way (started together
  // with the program): it is looked for more often then.
  const int64_t period = now - viewerOpenedMs_.load(std::memory_order_relaxed) < 1000
                             ? kViewerCheckMs / 10
                             : kViewerCheckMs;
  if (viewerGeneration_.load(std::memory_order_acquire) == generation &&
      now - viewerCheckedMs_.load(std::memory_order_relaxed) < period) {
    return viewerListens_.load(std::memory_order_relaxed);
  }
  // One thread looks; the others go on with what was seen last (for a new opening of the
  // channel they wait for the look, so that its first lines are not judged by an old one).
  std::unique_lock<std::mutex> look(viewerLookLock_, std::defer_lock);
  if (viewerGeneration_.load(std::memory_order_acquire) == generation) {
    if (!look.try_lock()) return viewerListens_.load(std::memory_order_relaxed);
  } else {
    look.lock();
  }
  const bool opened = viewerGeneration_.load(std::memory_order_acquire) != generation;
  if (opened || now - viewerCheckedMs_.load(std::memory_order_relaxed) >= period) {
    viewerListens_.store(UdpPortMayHaveListener(channel.ViewerPort()), std::memory_order_relaxed);
    viewerCheckedMs_.store(now, std::memory_order_relaxed);
    if (opened) viewerOpenedMs_.store(now, std::memory_order_relaxed);
    viewerGeneration_.store(generation, std::memory_order_release);
  }
  return viewerListens_.load(std::memory_order_relaxed);
}

bool CLogQueue::Post(int level, std::string_view utf8Text) {
  CCommUdp& channel = CCommControl::GetInstance()->Channel();
  if (!channel.IsOpen()) return false;
  const uint64_t generation = channel.Generation();
  std::unique_lock<std::mutex> lock(lock_);
  if (!started_) {
    started_ = true;
    // The sender lives as long as the process; lines still queued at exit are sent first.
    std::thread sender(&CLogQueue::SenderLoop, this);
    pthread_setname_np(sender.native_handle(), "log-send");
    sender.detach();
    std::atexit([] { CLogQueue::GetInstance()->Flush(); });
  }
  drained_.wait(lock, [this] { return count_ < kSlots; });
  Slot& slot = slots_[(head_ + count_) % kSlots];
  slot.generation = generation;
  slot.length = BuildLogDatagram(level, utf8Text, slot.bytes);
  ++count_;
  // Waking the sender is a system call: only when it sleeps.
  if (senderAsleep_) {
    senderAsleep_ = false;
    queued_.notify_one();
  }
  return true;
}

void CLogQueue::Flush() {
  std::unique_lock<std::mutex> lock(lock_);
  if (!started_) return;
  drained_.wait_for(lock, std::chrono::seconds(2), [this] { return count_ == 0; });
}

void CLogQueue::SenderLoop() {
  CCommUdp& channel = CCommControl::GetInstance()->Channel();
  std::unique_lock<std::mutex> lock(lock_);
  for (;;) {
    while (count_ == 0) {
      senderAsleep_ = true;
      queued_.wait(lock);
    }
    // Woken for a line, the sender lets more gather for up to a millisecond before it sends:
    // a busy worker then wakes it about once a millisecond, not for every line (each wake is a
    // system call on the worker's side and a switch on the sender's).
    if (count_ < kBatch) {
      queued_.wait_for(lock, kGatherTime, [this] { return count_ >= kBatch; });
    }
    // The slots from head_ on stay untouched while the lock is released: writers fill only
    // the slots behind the queued lines, and head_ moves on only after the hand-over.
    const int take = std::min({count_, kBatch, kSlots - head_});
    lock.unlock();
    const uint8_t* datagrams[kBatch];
    int lengths[kBatch];
    int n = 0;
    const uint64_t generation = channel.Generation();
    for (int i = 0; i < take; ++i) {
      const Slot& slot = slots_[head_ + i];
      if (slot.generation != generation) continue;  // written for a channel since closed
      datagrams[n] = slot.bytes;
      lengths[n++] = slot.length;
    }
    // A datagram the socket refuses is not tried again (as a line sent at once was not).
    for (int done = 0; done < n;) {
      const int sent = channel.SendMany(datagrams + done, lengths + done, n - done);
      done += sent > 0 ? sent : 1;
    }
    lock.lock();
    head_ = (head_ + take) % kSlots;
    count_ -= take;
    drained_.notify_all();
  }
}
