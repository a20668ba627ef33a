#include "core/control.h"

#include <chrono>
#include <cstring>
#include <new>

#include "shell/comm_control.h"
#include "shell/log.h"
#include "transport/mac_proto_control.h"

namespace {
constexpr auto kTickInterval = std::chrono::milliseconds(1000);
}

CControl* CControl::GetInstance() {
  static CControl* instance = new CControl();
  return instance;
}

CControl::CControl() = default;

CControl::~CControl() {
  Stop();
  std::lock_guard<std::recursive_mutex> lock(m_queueLock);
  while (m_queueHead != nullptr) {
    QueueNode* node = m_queueHead;
    m_queueHead = node->next;
    FreeNode(node);
  }
  m_queueTail = nullptr;
}

int CControl::Init() {
  InitCore();
  // Opens the chosen adapters and starts their receive threads; when none can be opened it
  // shows its prompt and ends the process, so its result is not looked at. ARP is captured too:
  // the window's address assignment probes its planned addresses through it.
  CMacProtoControl::GetInstance()->Init(/*captureArp=*/true);
  LogInfo("Init successs.");
  return 0;
}

int CControl::InitCore() {
  CCommControl::GetInstance()->Init();
  return StartThreads();
}

int CControl::StartThreads() {
  std::lock_guard<std::recursive_mutex> lock(m_queueLock);
  if (m_workerThread.joinable() || m_tickThread.joinable() || m_stopping) return 0;
  m_tickThread = std::thread(&CControl::TickLoop, this);
  m_workerThread = std::thread(&CControl::WorkerLoop, this);
  m_workerId = m_workerThread.get_id();
  return 0;
}

void CControl::Stop() {
  {
    std::lock_guard<std::recursive_mutex> lock(m_queueLock);
    m_stopping = true;
    m_queueSignalled = true;
  }
  m_queueEvent.notify_all();
  { std::lock_guard<std::mutex> lock(m_tickLock); }
  m_tickWake.notify_all();
  // A handler that stops the core cannot wait for its own thread: it only raises the flag, and
  // the threads are joined by the next Stop from another thread (at the latest the destructor).
  if (m_workerId.load() == std::this_thread::get_id()) return;
  std::lock_guard<std::mutex> joinLock(m_joinLock);
  if (m_tickThread.joinable()) m_tickThread.join();
  if (m_workerThread.joinable()) m_workerThread.join();
}

int CControl::PostMsg(int message, int param1, int param2, const void* data, int length) {
  const bool socketMsg = RouteOf(message) == MsgRoute::kSocket;
  std::unique_lock<std::recursive_mutex> lock(m_queueLock);
  if (socketMsg && m_queuedSocketMsgs >= kMaxQueuedSocketMsgs) {
    ++m_droppedSocketMsgs;
    const uint64_t dropped = m_droppedSocketMsgs;
    const int64_t second = std::chrono::duration_cast<std::chrono::seconds>(
                               std::chrono::steady_clock::now().time_since_epoch())
                               .count();
    const bool logNow = second != m_dropLogSecond;
    m_dropLogSecond = second;
    lock.unlock();
    if (logNow) {
      LogError("%s: queue full (%zu datagrams waiting), datagram dropped (%llu so far).",
               "CControl::PostMsg", kMaxQueuedSocketMsgs, static_cast<unsigned long long>(dropped));
    }
    return -1;
  }
  auto* node = new (std::nothrow) QueueNode();
  if (node == nullptr) return -1;
  node->message = message;
  node->param1 = param1;
  node->param2 = param2;
  if (data != nullptr && length > 0) {
    node->data = new (std::nothrow) uint8_t[static_cast<size_t>(length)];
    if (node->data == nullptr) {
      delete node;
      return -1;
    }
    std::memcpy(node->data, data, static_cast<size_t>(length));
  }
  if (m_queueHead == nullptr) {
    m_queueHead = node;
  } else {
    m_queueTail->next = node;
  }
  m_queueTail = node;
  if (socketMsg) ++m_queuedSocketMsgs;
  m_queueSignalled = true;
  m_queueEvent.notify_one();
  return 0;
}

uint64_t CControl::DroppedSocketMsgs() const {
  std::lock_guard<std::recursive_mutex> lock(m_queueLock);
  return m_droppedSocketMsgs;
}

void CControl::FreeNode(QueueNode* node) {
  delete[] node->data;
  delete node;
}

void CControl::WorkerLoop() {
  std::unique_lock<std::recursive_mutex> lock(m_queueLock);
  for (;;) {
    m_queueEvent.wait(lock, [this] { return m_queueSignalled; });
    while (m_queueHead != nullptr) {
      QueueNode* node = m_queueHead;
      m_queueHead = node->next;
      if (m_queueHead == nullptr) m_queueTail = nullptr;
      if (RouteOf(node->message) == MsgRoute::kSocket) --m_queuedSocketMsgs;
      lock.unlock();
      DispatchMsg(node->message, node->param1, node->param2, node->data);
      FreeNode(node);
      lock.lock();
    }
    m_queueSignalled = false;
    if (m_stopping) return;
  }
}

void CControl::TickLoop() {
  std::unique_lock<std::mutex> lock(m_tickLock);
  while (!m_stopping) {
    lock.unlock();
    PostMsg(MSG_CLASS_TIMER, 0, 0, nullptr, 0);
    lock.lock();
    m_tickWake.wait_for(lock, kTickInterval, [this] { return m_stopping.load(); });
  }
}

CControl::MsgRoute CControl::RouteOf(int message) {
  const unsigned int msgClass = static_cast<unsigned int>(message) & 0xFFFF0000u;
  switch (msgClass) {
    case MSG_CLASS_TIMER:
      return MsgRoute::kTimer;
    case MSG_CLASS_SOCKET:
    case MSG_CLASS_SOCKET_ALT:
      return MsgRoute::kSocket;
    case MSG_CLASS_CTRL:
      return MsgRoute::kCtrl;
    default:
      return MsgRoute::kDropped;
  }
}

int CControl::DispatchMsg(int message, int param1, int param2, const uint8_t* data) {
  if (m_dispatchHook) m_dispatchHook(message, param1, param2, data);
  switch (RouteOf(message)) {
    case MsgRoute::kTimer:
      OnTimerMsg(param1);
      break;
    case MsgRoute::kSocket:
      // A socket message carries one packet record; OnSocketMsg rejects a missing one.
      OnSocketMsg(reinterpret_cast<const PACKET_RECORD_T*>(data));
      break;
    case MsgRoute::kCtrl:
      OnCtrlMsg(param1, param2);
      break;
    case MsgRoute::kDropped:
      break;
  }
  return 0;
}

int CControl::OnTimerMsg(int) { return 0; }

int CControl::OnCtrlMsg(int, int) {
  LogDebug("Enter %s", "CControl::OnCtrlMsg");
  return 0;
}
