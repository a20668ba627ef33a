#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/common/device_entry.h"
#include "core/common/resend_pacer.h"
#include "shell/global_utils.h"

class IOpClock;

// Turning many DHCP devices into static-address devices, each keeping the address it has now.
// The batch progress window and `ipscanner-cli static` both run it:
//
//   1. Start: a configuration request to every device (Type, Status IP, gateway, mask, DNS).
//   2. Wait tick every 200 ms: once every device has sent a full report, or at the 21st tick,
//      configure: each reported device gets Type 2 with the IP it is listed under and its
//      reported gateway, mask and DNS.
//   3. Poll tick every 1000 ms: the configured unfinished devices are asked for
//      "Config.Network.LAN.Type"; a device whose full report comes only now is configured at
//      the tick after it. At the 16th tick every device still unfinished fails: "no answer
//      before configure" when it never sent a full report, else "never reported static".
//   A report with Type "2" makes an unfinished device succeed. A finished row never changes.
//
// Frames get lost, and the devices do not retransmit: the configuration request goes out again
// every second (every 5th wait tick, every poll tick) to the devices without a full report, and
// the update goes out again, with the same settings, to the devices not yet static under the
// shared resend rule (CResendPacer, kUpdatePace): with backoff on the poll ticks while the device
// still answers anything (a poll's Type 0 counts), until the run's 16th poll tick. Each resend is
// logged with the device; the rows count the sends.
//
// Threads: reports arrive on the control core's worker thread (OnReportConfig); everything else
// runs on the caller's thread. A report that shows a static address is queued, the wake
// function tells the caller, and ApplyReports (caller's thread) moves the rows.
// The caller drives the ticks (the window's timers, RunBatchStatic's clock, a test's loop).

enum BatchRowStatus : int { kBatchConfiguring = 0, kBatchSuccess = 2, kBatchFailed = 3 };

enum class BatchFailure {
  kNone,
  kNoReport,     // the device sent no full report before the configure step
  kNeverStatic,  // the device never reported Type "2" during the polls
};

// "Configuring", "Success", "Failed" (the texts rows show); "" for another value.
const char* BatchStatusText(int status);
// "no answer before configure", "never reported static"; "" for kNone.
const char* BatchFailureText(BatchFailure failure);

struct BatchStaticRow {
  DEVICE_ENTRY_T device;
  int status = kBatchConfiguring;
  BatchFailure failure = BatchFailure::kNone;
  int requestTries = 0;  // configuration requests of the start and the wait
  int updateTries = 0;   // updates sent (0: the device was never configured)
  bool Finished() const { return status != kBatchConfiguring; }
};

// Where the run's requests go: by default the control core's SendRequestConfigMsg and
// SendUpdateConfigMsg; tests record them instead.
struct BatchStaticSender {
  using Send = std::function<void(const DEVICE_ENTRY_T&, const char16_t (*)[kConfigItemChars])>;
  Send requestConfig;
  Send updateConfig;
  static BatchStaticSender Core();
};

class CBatchStaticRun {
public:
  static constexpr int kWaitTimerId = 2;
  static constexpr int kWaitPeriodMs = 200;
  static constexpr unsigned kMaxWaitTicks = 20;  // the 21st tick configures regardless
  static constexpr int kPollTimerId = 1;
  static constexpr int kPollPeriodMs = 1000;
  static constexpr unsigned kPollTicks = 15;  // the 16th tick ends the polling
  // Only a report of more than this many items is kept for the configure step.
  static constexpr size_t kFullReportItems = 5;
  // Resends on a lossy segment: the configuration request every this many wait ticks (1 s),
  static constexpr unsigned kRequestResendTicks = 5;
  // the update 2 s after the first (a poll has then had its chance to show it applied), then
  // every 3 s while the device was heard within 12 s: sends at 0, 2, 5, 8, 11 and 14 s.
  static constexpr ResendPace kUpdatePace{std::chrono::milliseconds(2000),
                                          std::chrono::milliseconds(3000),
                                          std::chrono::milliseconds(12000)};

  enum class Phase { kIdle, kWaiting, kPolling, kDone };

  explicit CBatchStaticRun(std::vector<DEVICE_ENTRY_T> devices,
                           BatchStaticSender sender = BatchStaticSender::Core());
  ~CBatchStaticRun();
  CBatchStaticRun(const CBatchStaticRun&) = delete;
  CBatchStaticRun& operator=(const CBatchStaticRun&) = delete;

  // Set before Start. rowChanged(row) runs on the caller's thread after a row finished.
  void SetRowChanged(std::function<void(size_t row)> rowChanged);
  // Runs on the worker thread when a report queued a success and none was queued before it;
  // it must not wait for the caller (hand the call to ApplyReports over, e.g. post it).
  void SetReportWake(std::function<void()> wake);

  // Caller's thread.
  void Start();         // empties the report store and sends the configuration requests
  bool OnWaitTick();    // true when this tick configured: stop the wait tick, start polling
  bool OnPollTick();    // true when this tick ended the polling: stop the poll tick
  void ApplyReports();  // moves the rows whose reports showed a static address to "Success"
  // From now on reports are ignored and nothing queued is applied (the window is closing).
  void Stop();

  // Worker thread: a device reported configuration items.
  void OnReportConfig(const std::string& deviceKey, const std::vector<std::string>* items);

  // Caller's thread.
  const std::vector<BatchStaticRow>& Rows() const { return m_rows; }
  Phase GetPhase() const { return m_phase; }
  unsigned WaitTicks() const { return m_waitTicks; }
  unsigned PollTicks() const { return m_pollTicks; }
  size_t CountStatus(int status) const;
  bool AllFinished() const { return CountStatus(kBatchConfiguring) == 0; }
  // The first row whose MAC equals mac ignoring case; -1 when there is none.
  int FindRow(const std::string& mac) const;
  // Any thread: whether a full report of this device key (exact MAC text) is stored.
  bool HasReport(const std::string& deviceKey) const;

private:
  void SendConfigRequest(size_t row);
  void SendUpdate(size_t row);
  void Configure();
  void ConfigureRow(size_t row, const std::map<std::string, std::string>& report);
  void ConfigureLateReports();
  void Finish(size_t row, int status, BatchFailure failure);

  std::vector<BatchStaticRow> m_rows;
  // Upper-cased MAC -> first row; fixed after construction, so the worker may read it.
  std::unordered_map<std::string, size_t> m_rowByMac;
  // Finished flags the worker reads (a report for a finished row is not stored).
  std::unique_ptr<std::atomic<bool>[]> m_finished;
  // Set by the worker when a row's device sent any report; taken on the next poll tick.
  std::unique_ptr<std::atomic<bool>[]> m_heard;
  std::vector<CResendPacer> m_updatePacers;  // caller's thread, per row
  BatchStaticSender m_sender;
  std::function<void(size_t)> m_rowChanged;
  std::function<void()> m_wake;
  Phase m_phase = Phase::kIdle;
  unsigned m_waitTicks = 0;
  unsigned m_pollTicks = 0;
  size_t m_counts[4] = {};

  mutable std::mutex m_reportLock;  // the report store and the queued successes
  std::map<std::string, std::map<std::string, std::string>> m_reports;
  // Caller's thread: per row, the report its update was built from (its resends use the same);
  // empty while the row is not configured.
  std::vector<std::map<std::string, std::string>> m_configured;
  std::vector<size_t> m_staticRows;  // rows whose report showed Type "2", not yet applied
  std::atomic<bool> m_stopped{false};
};

// Runs a started or fresh run to its end on the given clock: the wait tick every 200 ms, the
// poll tick every 1000 ms, reports applied every `step`. Ends early once every row is finished
// after the configure step. Returns when the run is done.
void RunBatchStatic(CBatchStaticRun& run, IOpClock& clock,
                    std::chrono::milliseconds step = std::chrono::milliseconds(50));
