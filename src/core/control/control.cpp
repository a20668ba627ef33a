#include "core/control/control.h"

#include <pthread.h>

#include <chrono>
#include <cstddef>
#include <cstring>
#include <new>

#include "protocol/msg_handle.h"
#include "protocol/packet_record.h"
#include "shell/comm_control.h"
#include "shell/log.h"
#include "transport/mac_proto_control.h"

namespace {
constexpr auto kTickInterval = std::chrono::milliseconds(1000);
}

CControl* CControl::GetInstance() {
  static CControl* instance = [] {
    auto* control = new CControl();
    // The reply parsers try the keys of this table when a reply does not parse with its own
    // key: the MAC texts the devices reported, in table order, as a list kept between changes
    // of the table so that a datagram does not copy it.
    CMsgHandle::GetInstance()->SetDefaultFallbackKeySource(
        [control] { return control->GetDeviceKeys(); });
    // What the captures receive goes to this core's queue.
    CMacProtoControl::GetInstance()->SetDefaultReceiveSink(
        [control](const PACKET_RECORD_T& record) {
          control->PostMsg(MSG_CLASS_SOCKET, 0, 0, &record, sizeof(PACKET_RECORD_T));
        });
    return control;
  }();
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
  for (QueueNode* node : m_freeNodes) FreeNode(node);
  m_freeNodes.clear();
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
  // Named for top and the benchmarks' per-thread figures.
  pthread_setname_np(m_tickThread.native_handle(), "ctl-tick");
  pthread_setname_np(m_workerThread.native_handle(), "ctl-worker");
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
  QueueNode* node = TakeNode();
  if (node == nullptr) return -1;
  node->message = message;
  node->param1 = param1;
  node->param2 = param2;
  node->length = 0;
  node->compactRecord = false;
  node->next = nullptr;
  if (data != nullptr && length > 0) {
    size_t bytes = static_cast<size_t>(length);
    // A packet record is kept up to the end of its datagram; the length field stays as it
    // came, so the worker still refuses one that claims too much.
    if (socketMsg && bytes == sizeof(PACKET_RECORD_T)) {
      int32_t used = 0;
      std::memcpy(&used, static_cast<const uint8_t*>(data) + offsetof(PACKET_RECORD_T, nDataLen),
                  sizeof(used));
      used = used < 0 ? 0 : used > kPacketDatagramBytes ? kPacketDatagramBytes : used;
      bytes = offsetof(PACKET_RECORD_T, data) + static_cast<size_t>(used);
      node->compactRecord = true;
    }
    if (node->capacity < bytes) {
      const size_t capacity = bytes < kPooledNodeBytes ? kPooledNodeBytes : bytes;
      auto* buffer = new (std::nothrow) uint8_t[capacity];
      if (buffer == nullptr) {
        RecycleNode(node);
        return -1;
      }
      delete[] node->data;
      node->data = buffer;
      node->capacity = capacity;
    }
    std::memcpy(node->data, data, bytes);
    node->length = bytes;
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

CControl::QueueNode* CControl::TakeNode() {
  if (!m_freeNodes.empty()) {
    QueueNode* node = m_freeNodes.back();
    m_freeNodes.pop_back();
    return node;
  }
  return new (std::nothrow) QueueNode();
}

void CControl::RecycleNode(QueueNode* node) {
  // Only nodes of the pooled size are kept: a large one would hold its memory for good.
  if (m_freeNodes.size() < kPooledNodes && node->capacity <= kPooledNodeBytes) {
    m_freeNodes.push_back(node);
  } else {
    FreeNode(node);
  }
}

const uint8_t* CControl::ExpandRecord(const QueueNode& node) {
  if (!m_workerRecord) {
    m_workerRecord.reset(new uint8_t[sizeof(PACKET_RECORD_T)]());
    m_workerRecordUsed = 0;
  }
  uint8_t* record = m_workerRecord.get();
  std::memcpy(record, node.data, node.length);
  if (m_workerRecordUsed > node.length)
    std::memset(record + node.length, 0, m_workerRecordUsed - node.length);
  m_workerRecordUsed = node.length;
  return record;
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
      DispatchMsg(node->message, node->param1, node->param2,
                  node->compactRecord ? ExpandRecord(*node)
                  : node->length > 0  ? node->data
                                      : nullptr);
      lock.lock();
      RecycleNode(node);
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
