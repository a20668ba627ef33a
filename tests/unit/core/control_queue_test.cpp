#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/control/control.h"
#include "protocol/packet_record.h"
#include "shell/comm_control.h"
#include "shell/log_record.h"
#include "unit/log/loopback_receiver.h"

namespace {

constexpr int kProbeClass = 0x50000;  // a class the core drops: only the hook sees it

struct Seen {
  int message;
  int param1;
  int param2;
  bool hasData;
  std::string data;
};

// Records every dispatched message except the tick's timer messages.
class Recorder {
public:
  explicit Recorder(CControl* control, size_t dataBytes = 0) : dataBytes_(dataBytes) {
    control->SetDispatchHook([this](int message, int p1, int p2, const uint8_t* data) {
      if (CControl::RouteOf(message) == CControl::MsgRoute::kTimer) {
        std::lock_guard<std::mutex> lock(mutex_);
        ++timers_;
        changed_.notify_all();
        return;
      }
      Seen s{message, p1, p2, data != nullptr, {}};
      if (data != nullptr) s.data.assign(reinterpret_cast<const char*>(data), dataBytes_);
      std::lock_guard<std::mutex> lock(mutex_);
      seen_.push_back(std::move(s));
      changed_.notify_all();
    });
  }

  bool WaitFor(size_t count, std::chrono::milliseconds bound = std::chrono::seconds(20)) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, bound, [&] { return seen_.size() >= count; });
  }
  bool WaitForTimer() {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(5), [&] { return timers_ > 0; });
  }
  std::vector<Seen> seen() {
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
  }

private:
  size_t dataBytes_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Seen> seen_;
  int timers_ = 0;
};

TEST(ControlQueue, KeepsPostingOrderAndCopiesTheData) {
  CControl control;
  Recorder recorder(&control, 4);
  char buffer[4] = {'a', 'b', 'c', 'd'};
  ASSERT_EQ(control.PostMsg(kProbeClass | 1, 10, 20, buffer, 4), 0);
  buffer[0] = 'X';  // the queued copy must not see this
  ASSERT_EQ(control.PostMsg(kProbeClass | 2, 0, 0, nullptr, 4), 0);  // no data despite length
  ASSERT_EQ(control.PostMsg(kProbeClass | 3, 0, 0, buffer, 0), 0);   // no data with length 0
  ASSERT_EQ(control.PostMsg(kProbeClass | 4, 0, 0, buffer, -5), 0);  // nor a negative one
  ASSERT_EQ(control.PostMsg(kProbeClass | 5, -1, -2, buffer, 4), 0);

  control.StartThreads();
  ASSERT_TRUE(recorder.WaitFor(5));
  control.Stop();

  const std::vector<Seen> seen = recorder.seen();
  ASSERT_EQ(seen.size(), 5u);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(seen[i].message, kProbeClass | (i + 1));
  EXPECT_TRUE(seen[0].hasData);
  EXPECT_EQ(seen[0].data, "abcd");
  EXPECT_EQ(seen[0].param1, 10);
  EXPECT_EQ(seen[0].param2, 20);
  EXPECT_FALSE(seen[1].hasData);
  EXPECT_FALSE(seen[2].hasData);
  EXPECT_FALSE(seen[3].hasData);
  EXPECT_EQ(seen[4].data, "Xbcd");
  EXPECT_EQ(seen[4].param1, -1);
  EXPECT_EQ(seen[4].param2, -2);
}

TEST(ControlQueue, ManyPostingThreadsLoseNothingAndKeepEachThreadsOrder) {
  constexpr int kThreads = 4;
  constexpr int kPerThread = 25000;
  CControl control;
  Recorder recorder(&control);
  control.StartThreads();  // the worker drains while the posters run

  std::vector<std::thread> posters;
  for (int t = 0; t < kThreads; ++t) {
    posters.emplace_back([&control, t] {
      for (int seq = 0; seq < kPerThread; ++seq) control.PostMsg(kProbeClass, t, seq, &seq, 4);
    });
  }
  for (std::thread& poster : posters) poster.join();
  control.Stop();  // handles what is still queued, then ends

  const std::vector<Seen> seen = recorder.seen();
  ASSERT_EQ(seen.size(), static_cast<size_t>(kThreads * kPerThread));
  std::vector<int> next(kThreads, 0);
  for (const Seen& s : seen) {
    ASSERT_GE(s.param1, 0);
    ASSERT_LT(s.param1, kThreads);
    ASSERT_EQ(s.param2, next[s.param1]) << "thread " << s.param1 << " out of order";
    ++next[s.param1];
  }
}

TEST(ControlQueue, RoutesByMessageClass) {
  using R = CControl::MsgRoute;
  const struct {
    int message;
    R route;
  } cases[] = {
      {0x10000, R::kTimer},   {0x1FFFF, R::kTimer},
      {0x20000, R::kSocket},  {0x30000, R::kSocket},
      {0x30007, R::kSocket},  {0x40000, R::kCtrl},
      {0x50000, R::kDropped}, {0x0FFFF, R::kDropped},
      {0, R::kDropped},       {static_cast<int>(0x80010000u), R::kDropped},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CControl::RouteOf(c.message), c.route) << std::hex << c.message;
  }
  // A socket message without its record, and the dropped classes, are handled without harm.
  CControl control;
  for (const int message : {0x20000, 0x30000, 0x50000, 0x10000}) {
    EXPECT_EQ(control.DispatchMsg(message, 0, 0, nullptr), 0);
  }
}

// Threads of this process, as the kernel lists them.
size_t ThreadCount() {
  size_t count = 0;
  for ([[maybe_unused]] const auto& entry :
       std::filesystem::directory_iterator("/proc/self/task")) {
    ++count;
  }
  return count;
}

// A thread that has been joined may stay listed for a moment after its exit.
bool ThreadCountSettlesAt(size_t expected) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (ThreadCount() != expected) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

TEST(ControlThreads, TickPostsATimerAtOnceAndStopEndsBothThreads) {
  const size_t before = ThreadCount();
  CControl control;
  Recorder recorder(&control);
  control.StartThreads();
  EXPECT_EQ(ThreadCount(), before + 2);  // the tick and the worker
  control.StartThreads();                // a second start must not start a second pair
  EXPECT_EQ(ThreadCount(), before + 2);
  EXPECT_TRUE(recorder.WaitForTimer());
  control.Stop();
  control.Stop();
  // After Stop nothing is handled; what is posted is freed with the object. A worker still
  // running would take the message within the wait.
  EXPECT_EQ(control.PostMsg(kProbeClass, 0, 0, "x", 1), 0);
  EXPECT_FALSE(recorder.WaitFor(1, std::chrono::milliseconds(300)));
  EXPECT_TRUE(ThreadCountSettlesAt(before)) << ThreadCount() - before << " threads left running";

  // Nor after another start: a stopped core stays stopped.
  control.StartThreads();
  EXPECT_EQ(ThreadCount(), before);
  EXPECT_EQ(control.PostMsg(kProbeClass, 0, 1, "y", 1), 0);
  EXPECT_FALSE(recorder.WaitFor(1, std::chrono::milliseconds(300)));
  EXPECT_TRUE(recorder.seen().empty());
}

TEST(ControlThreads, AHandlerMayStopTheCore) {
  CControl control;
  std::atomic<int> handled{0};
  control.SetDispatchHook([&](int message, int, int, const uint8_t*) {
    if (message == kProbeClass) {
      control.Stop();  // must neither join its own thread nor drop what is queued
      ++handled;
    }
  });
  control.PostMsg(kProbeClass, 0, 0, nullptr, 0);
  control.PostMsg(kProbeClass, 0, 0, nullptr, 0);
  control.StartThreads();
  control.Stop();
  EXPECT_EQ(handled.load(), 2);
}

// The control-class handler writes its debug line; timer and dropped classes write nothing.
TEST(ControlThreads, ControlMessageWritesItsDebugLine) {
  LoopbackReceiver viewer;
  CCommControl* comm = CCommControl::GetInstance();
  comm->Channel().Close();  // as at start-up (the test may run repeatedly in one process)
  comm->Channel().SetPorts(FreeLoopbackPort(), 16, viewer.port());

  CControl control;
  Recorder recorder(&control);
  control.PostMsg(MSG_CLASS_TIMER, 0, 0, nullptr, 0);
  control.PostMsg(kProbeClass, 0, 0, nullptr, 0);
  control.PostMsg(MSG_CLASS_CTRL, 0, 0, nullptr, 0);
  control.PostMsg(kProbeClass, 1, 0, nullptr, 0);
  ASSERT_EQ(control.InitCore(), 0);
  ASSERT_TRUE(recorder.WaitFor(3));
  control.Stop();

  std::vector<uint8_t> d;
  ASSERT_TRUE(viewer.Receive(&d));
  LOG_RECORD_T record;
  ASSERT_TRUE(DecodeLogDatagram(d.data(), d.size(), &record, nullptr));
  EXPECT_EQ(record.level, 7);
  EXPECT_EQ(record.text, "Enter CControl::OnCtrlMsg");
  EXPECT_FALSE(viewer.Receive(&d, 50));
}

}  // namespace

TEST(ControlQueue, SocketMessagesPastTheBoundAreDroppedOthersStillQueue) {
  CControl control;
  int socketDispatched = 0;
  control.SetDispatchHook([&](int message, int, int, const uint8_t*) {
    if (CControl::RouteOf(message) == CControl::MsgRoute::kSocket) ++socketDispatched;
  });
  // Whole (empty) packet records, as the capture posts them: the worker reads one from each.
  const auto record = std::make_unique<PACKET_RECORD_T>();
  std::memset(record.get(), 0, sizeof(PACKET_RECORD_T));
  const int size = static_cast<int>(sizeof(PACKET_RECORD_T));
  for (size_t i = 0; i < CControl::kMaxQueuedSocketMsgs; ++i) {
    ASSERT_EQ(control.PostMsg(MSG_CLASS_SOCKET, 0, 0, record.get(), size), 0) << i;
  }
  EXPECT_EQ(control.PostMsg(MSG_CLASS_SOCKET, 0, 0, record.get(), size), -1);
  EXPECT_EQ(control.PostMsg(MSG_CLASS_SOCKET_ALT, 0, 0, record.get(), size), -1);
  EXPECT_EQ(control.DroppedSocketMsgs(), 2u);
  EXPECT_EQ(control.PostMsg(MSG_CLASS_CTRL, 1, 2, nullptr, 0), 0);
  EXPECT_EQ(control.PostMsg(MSG_CLASS_TIMER, 0, 0, nullptr, 0), 0);

  // Once the worker has drained the queue there is room again.
  control.StartThreads();
  control.Stop();
  EXPECT_EQ(socketDispatched, static_cast<int>(CControl::kMaxQueuedSocketMsgs));
  CControl next;
  EXPECT_EQ(next.PostMsg(MSG_CLASS_SOCKET, 0, 0, record.get(), size), 0);
}
