#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "core/common/device_entry.h"
#include "core/common/discovery_schedule.h"
#include "core/control/control_notify.h"
#include "core/control/discover_answer_memo.h"
#include "core/site/device_status.h"
#include "shell/entry_bound.h"

struct PACKET_RECORD_T;
struct MSG_ACK_T;
struct COMMON_ACK_T;
struct REPORT_CONFIG_T;

// Message classes: the message code with its low 16 bits cleared.
constexpr int MSG_CLASS_TIMER = 0x10000;
constexpr int MSG_CLASS_SOCKET = 0x20000;
constexpr int MSG_CLASS_SOCKET_ALT = 0x30000;
constexpr int MSG_CLASS_CTRL = 0x40000;

// Size of the acknowledge record (MSG_ACK_T) kept in the wait slot.
constexpr int kAckRecordBytes = 736;

// The single object between the windows and the devices: a FIFO message queue drained by one
// worker thread, a one-second tick thread, the device table, the notify list, the acknowledge
// wait slot and the operations that send requests to devices.
//
// Locks: queue lock (queue, wait slot), notify lock (notify list, held while notify objects
// run), device lock (device table). All three are re-entrant. The only nesting is the notify
// lock followed by the device lock (a notify object reading the table).
class CControl {
public:
  // The process-wide instance, created on first call and never destroyed.
  static CControl* GetInstance();

  // Tests build their own instances; the destructor stops the threads of such an instance.
  CControl();
  ~CControl();
  CControl(const CControl&) = delete;
  CControl& operator=(const CControl&) = delete;

  // Opens the log channel, starts the tick and worker threads, initialises the transport,
  // logs "Init successs." and returns 0.
  int Init();
  // Init without the transport: log channel, then the two threads. Returns 0.
  int InitCore();
  // Only the tick and worker threads (no log channel). A second call does nothing. Returns 0.
  int StartThreads();
  // Orderly end: the worker handles what is already queued, then both threads end and are
  // joined. Messages posted afterwards stay queued and are freed with the object.
  void Stop();

  // Queues a copy of data (when data is not null and length > 0). 0 when queued, -1 otherwise.
  // Socket messages are refused while kMaxQueuedSocketMsgs of them wait (counted, and logged
  // at most once a second): a flood from the segment must not grow the queue without limit.
  int PostMsg(int message, int param1, int param2, const void* data, int length);
  // A socket message keeps only the bytes its datagram uses (at least kPooledNodeBytes): about
  // 36 MB at most, and room for the answers of half a /16 at once while the worker catches up.
  static constexpr size_t kMaxQueuedSocketMsgs = 32768;
  // Socket messages refused because the queue was full.
  uint64_t DroppedSocketMsgs() const;

  // Device table (any thread; copies in and out under the device lock). Entries keep the
  // order in which their MAC was first seen; MAC texts are compared exactly.
  // version: where the table's change count stood at the copy (see DeviceTableVersion).
  std::vector<DEVICE_ENTRY_T> GetDeviceList(uint64_t* version = nullptr) const;
  // Moves with every change of the table (an entry added, changed or removed, the table
  // cleared); an answer that repeats what its entry holds leaves it.
  uint64_t DeviceTableVersion() const;
  bool FindDevice(const std::string& mac, DEVICE_ENTRY_T* out) const;
  // False when the entry is new and the table is full (kMaxDevices): it is refused, counted and
  // logged at most once a second. An entry already in the table is always updated.
  bool UpdateDevice(const DEVICE_ENTRY_T& entry);
  // The same, and the entry's position in the table (for DeviceUnchangedAt).
  bool UpdateDevice(const DEVICE_ENTRY_T& entry, size_t* position);
  // Whether the entry at a position UpdateDevice gave still is exactly `entry`: an answer that
  // repeats its device's last one then has nothing to change, and the MAC index is not
  // consulted (with a /16, every lookup in it is a cache miss).
  bool DeviceUnchangedAt(size_t position, const DEVICE_ENTRY_T& entry) const;
  static constexpr size_t kMaxDevices = CEntryBound::kDefaultLimit;
  // New MACs refused because the table was full.
  uint64_t RefusedDevices() const { return m_deviceBound.Refused(); }
  void RemoveDevice(const std::string& mac);
  void ClearDevices();
  // The device key of a sender: the MAC of the first entry (in table order) whose work MAC is
  // workMac in any spelling (SameMac). False when there is none. No copy of
  // the table is made.
  bool FindDeviceKeyByWorkMac(const std::string& workMac, std::string* key) const;
  // The MAC texts of the table in table order: a shared list, rebuilt only after the table
  // gained or lost an entry. The reply parsers try them as fallback keys.
  std::shared_ptr<const std::vector<std::string>> GetDeviceKeys() const;

  // Live status of the devices in the table: fed by every discovery answer, a new round with
  // every discovery multicast, reset with ClearDevices.
  CDeviceStatusTracker& DeviceStatus() { return m_deviceStatus; }

  // Notify list (any thread). No duplicates; called in registration order.
  bool AddNotify(IControlNotify* notify);
  bool RemoveNotify(IControlNotify* notify);
  // Calls fn(IControlNotify*) for every registered object in order, under the notify lock.
  template <class F>
  void ForEachNotify(F&& fn) {
    std::lock_guard<std::recursive_mutex> lock(m_notifyLock);
    // Indexed walk: stays in bounds even if a callee wrongly changes the list.
    for (size_t i = 0; i < m_notifyList.size(); ++i) {
      if (m_notifyList[i] != nullptr) fn(m_notifyList[i]);
    }
  }

  // Authenticate callback: set by the device view, called on the worker thread.
  void SetAuthenticateCallback(std::function<void(COMMON_ACK_T*)> callback);
  std::function<void(COMMON_ACK_T*)> GetAuthenticateCallback() const;
  // Calls the stored callback (a copy, outside any lock). False when none is set.
  bool InvokeAuthenticateCallback(COMMON_ACK_T* ack);

  // Wait slot: one open wait for one device's acknowledge, for the whole process.
  void SetWaitMacAndCrc(const std::string& deviceKey, uint16_t crc);
  // 0 and a copy of the acknowledge once it has arrived; -1 before that or for a null out.
  int GetWaitAck(MSG_ACK_T* out);
  // Takes the 736-byte acknowledge into the slot when deviceKey equals the wait MAC exactly
  // (under the queue lock). True when taken.
  bool StoreAwaitedAck(const std::string& deviceKey, const MSG_ACK_T* ack);

  // Outbound device operations (items: the 32 x 96 configuration item texts).
  // beginsRound false: a repeat of the round in progress (the first seconds of a discovery), so
  // a device that answers any of its sends counts as answering the round.
  void MulticastDiscoveryMsg(bool beginsRound = true);
  // Sends the discovery the schedule has due at `elapsed`, if any; true when one went out.
  bool DiscoverOnSchedule(CDiscoverySchedule& schedule, std::chrono::milliseconds elapsed);
  void SendRequestConfigMsg(const DEVICE_ENTRY_T* device, const char16_t (*items)[96]);
  void SendUpdateConfigMsg(const DEVICE_ENTRY_T* device, const char16_t (*items)[96]);

  // Worker-thread side.
  enum class MsgRoute { kTimer, kSocket, kCtrl, kDropped };
  static MsgRoute RouteOf(int message);
  int DispatchMsg(int message, int param1, int param2, const uint8_t* data);
  int OnTimerMsg(int param1);
  int OnCtrlMsg(int param1, int param2);
  int OnSocketMsg(const PACKET_RECORD_T* record);
  int OnAckMsg(const std::string& deviceKey, int checkValue, const MSG_ACK_T* ack);
  int OnReportConfigMsg(const std::string& deviceKey, const char* ip, int port,
                        const REPORT_CONFIG_T* report);

  // Test seam: called by DispatchMsg with its arguments before the message is handled.
  // Set it before the threads start.
  using DispatchHook =
      std::function<void(int message, int param1, int param2, const uint8_t* data)>;
  void SetDispatchHook(DispatchHook hook) { m_dispatchHook = std::move(hook); }

private:
  struct QueueNode {
    int message = 0;
    int param1 = 0;
    int param2 = 0;
    uint8_t* data = nullptr;
    size_t capacity = 0;         // bytes allocated at data
    size_t length = 0;           // bytes used at data
    bool compactRecord = false;  // a packet record cut after its datagram
    QueueNode* next = nullptr;
  };
  // Nodes are kept for reuse (up to kPooledNodes of them, each with room for a discovery
  // answer), so that a steady stream of datagrams allocates nothing.
  static constexpr size_t kPooledNodes = 1024;
  static constexpr size_t kPooledNodeBytes = 1024;

  void WorkerLoop();
  QueueNode* TakeNode();              // queue lock held
  void RecycleNode(QueueNode* node);  // queue lock held
  // The whole record a compact node stands for, in the worker's own record (bytes behind the
  // datagram zero, as every producer leaves them).
  const uint8_t* ExpandRecord(const QueueNode& node);
  void TickLoop();
  void RebuildDeviceIndex();
  static void FreeNode(QueueNode* node);

  // Queue lock and what it guards.
  mutable std::recursive_mutex m_queueLock;
  uint16_t m_waitCrc = 0;
  std::thread m_workerThread;
  std::thread m_tickThread;
  QueueNode* m_queueHead = nullptr;
  QueueNode* m_queueTail = nullptr;  // appending stays O(1) with thousands of answers queued
  size_t m_queuedSocketMsgs = 0;
  std::vector<QueueNode*> m_freeNodes;
  std::unique_ptr<uint8_t[]> m_workerRecord;  // one zeroed packet record
  size_t m_workerRecordUsed = 0;              // bytes of it that may be non-zero
  uint64_t m_droppedSocketMsgs = 0;
  int64_t m_dropLogSecond = -1;  // the second of the last "queue full" line
  // Queue event: set under the lock whenever a node is appended, reset under the lock by the
  // worker once the queue is empty; starts set.
  std::condition_variable_any m_queueEvent;
  bool m_queueSignalled = true;
  std::atomic<bool> m_stopping{false};
  int m_ackPending = 1;
  std::array<uint8_t, kAckRecordBytes> m_ackSlot{};
  std::string m_waitMac;

  mutable std::mutex m_authLock;  // replacing the callable while the worker copies it
  std::function<void(COMMON_ACK_T*)> m_authenticateCallback;

  std::recursive_mutex m_notifyLock;
  std::vector<IControlNotify*> m_notifyList;

  mutable std::recursive_mutex m_deviceLock;
  std::vector<DEVICE_ENTRY_T> m_deviceTable;
  uint64_t m_tableVersion = 0;
  // The work-MAC index is keyed by CompactMacText, so any spelling of a work MAC finds it. The
  // MAC index is keyed by the text the device sent: the entry's handle, not its identity.
  std::unordered_map<std::string, size_t> m_macIndex;                    // MAC -> position
  std::unordered_map<std::string, std::set<size_t>> m_workMacIndex;      // work MAC -> positions
  mutable std::shared_ptr<const std::vector<std::string>> m_deviceKeys;  // null: to rebuild
  CEntryBound m_deviceBound{"device table"};

  std::mutex m_tickLock;  // the tick thread sleeps on it so that Stop wakes it at once
  std::condition_variable m_tickWake;
  std::atomic<std::thread::id> m_workerId{};
  std::mutex m_joinLock;  // Stop from two threads at once joins each thread once

  DispatchHook m_dispatchHook;

  CDeviceStatusTracker m_deviceStatus;
  CDiscoverAnswerMemo m_discoverAnswers;  // the worker's: answers that repeat are not read again
};
