#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "protocol/packet_record.h"
#include "transport/capture_failure.h"
#include "transport/capture_open.h"

typedef struct pcap pcap_t;
class CCaptureRelay;
class CUdpPortHold;

// One usable network adapter (an interface with an IPv4 address) and its open capture.
struct NET_ADAPTER_T {
  std::string name;  // interface name; on Linux also the capture device's name
  std::string description;
  std::string ip;  // first IPv4 address, dotted
  uint8_t mac[6] = {};
  pcap_t* handle = nullptr;        // capture opened by this process, or null
  CCaptureRelay* relay = nullptr;  // capture through the capture helper, or null
};

// How Init chooses adapters when it must not end the process.
struct MacProtoInitOptions {
  // Open exactly this interface and ignore the settings file. Empty: the settings'
  // "Interface"/"AdapterName" rules apply.
  std::string interfaceName;
  // Open every adapter with an IPv4 address, as "Interface" = "All" does; the settings file is
  // not read. Ignored when interfaceName is set.
  bool allAdapters = false;
  // What the capture lets through besides device traffic. A caller that sends ARP probes (an
  // address-conflict check) asks for kDeviceProtocolAndArp to receive the replies; the filter
  // is the program's own either way, never a text a caller hands in.
  CaptureTraffic traffic = CaptureTraffic::kDeviceProtocol;
  // Capture through the helper even when this process could open the capture itself (root).
  bool viaHelper = false;
};

// The helper that tells how to install the capture library and grants capture rights.
inline constexpr const char* kCaptureInstallScript = "Tools-Install/install-capture.sh";
// The capture helper in the module folder: the only executable with cap_net_raw.
inline constexpr const char* kCaptureHelperName = "ipscanner-capture";

// Carries every datagram between the program and the devices: opens the chosen adapters with
// libpcap, reads UDP to and from ports 8500/8505 (CaptureFilterText) on one thread per capture,
// and sends by building whole Ethernet II + IPv4 + UDP frames and injecting them. A process that
// may not capture itself (neither root nor cap_net_raw) runs the capture helper for each
// adapter instead and relays through it; callers see no difference. While the capture is open
// the process itself holds UDP port 8505 (CUdpPortHold), the port the devices answer to, so the
// kernel does not answer each device reply with an ICMP "port unreachable".
class CMacProtoControl {
public:
  static CMacProtoControl* GetInstance();
  virtual ~CMacProtoControl();

  // Opens every adapter the settings select and starts its receive thread. Returns 0 when at
  // least one capture runs; in every other case ends the process through ShowNoAdapterPrompt.
  // captureArp: ARP replies are captured too (CaptureTraffic::kDeviceProtocolAndArp).
  int Init(bool captureArp = false);
  // The same without ending the process: -1 with the reason in *failure (missing adapter,
  // missing capture rights, ...). Calling it again after a success returns 0.
  int Init(const MacProtoInitOptions& options, CaptureFailure* failure);

  // Whether this process holds the devices' answer port (8505) while the capture is open. False
  // before Init, and when another program holds the port: the capture works all the same, but
  // this computer may answer device replies with ICMP "port unreachable" (logged once by Init).
  bool ReplyPortHeld() const;
  // Why it is not held: "" when it is (or before Init), "is held by another program", or
  // "cannot be held: REASON".
  std::string ReplyPortProblem() const;

  // True when this process may open packet capture itself (root or cap_net_raw).
  static bool ProcessMayCapture();

  // Sends the record as one frame on every adapter with a capture, in list order. 0 when at
  // least one adapter took the frame; -1 when none did (no adapter, or no frame built).
  int Send(const PACKET_RECORD_T* record);
  // 0 when the capture library accepted the frame; -1 for null arguments, an adapter without a
  // capture, a datagram length outside 0..2048, an invalid IP text or a refused injection.
  int SendOnAdapter(const PACKET_RECORD_T* record, NET_ADAPTER_T* adapter);

  // Receive loop of one capture; runs until Stop.
  void MacProtoRecvThread(pcap_t* handle, std::string adapterName = "");
  // Receive loop of one capture through the helper; runs until Stop or the helper's end.
  void MacProtoRelayThread(CCaptureRelay* relay, std::string adapterName);

  // The counters of every open capture added up (received, dropped by the kernel, cut at the
  // snapshot length, refused by the helper). Zero before Init.
  CaptureCounters GetCaptureCounters() const;

  // The capture library is linked, so there is nothing to load: always true.
  bool LoadNpcapDll();

  // Shows "No network adapter detected, ..." (through the hook when one is set, otherwise on
  // standard error), runs the install helper when it exists, logs, and exits with code 0.
  [[noreturn]] void ShowNoAdapterPrompt();
  // An adapter that is there but cannot be used (not up, no rights, a setting naming a missing
  // interface): shows the failure naming the adapter and the reason (through the same hook),
  // logs and exits with code 1. No installer runs: the driver is not what is missing.
  [[noreturn]] void ShowAdapterError(const CaptureFailure& failure);
  // The GUI sets this to show its message box in its own words; it is called with the failure.
  static void SetNoAdapterPromptHook(std::function<void(const CaptureFailure& failure)> hook);

  // Where received datagrams go. Unset: PostMsg(0x20000, 0, 0, record, 4212) to CControl.
  void SetReceiveSink(std::function<void(const PACKET_RECORD_T& record)> sink);
  // Where datagrams go when no sink of the moment is set: the core's queue, handed over by the
  // core when it starts. Without either, a datagram is dropped.
  void SetDefaultReceiveSink(std::function<void(const PACKET_RECORD_T& record)> sink);

  // Where received frames that are not IPv4 go (ARP, with kDeviceProtocolAndArp); unset: they are
  // dropped. Runs on a receive thread; the frame is valid only during the call.
  void SetFrameTap(std::function<void(const uint8_t* frame, int length)> tap);
  // Injects an ARP probe (a request from 0.0.0.0, see arp_frame.h) on the named adapter (every
  // adapter with a capture when the name is empty); any other frame is refused. 0 when at least
  // one adapter took it.
  int SendArpProbe(const uint8_t* frame, int length, const std::string& adapterName = "");

  // Ends the receive threads and waits for them (tests and tools; the program never stops).
  void Stop();

  // Copy of the adapter list (handles included; do not close them).
  std::vector<NET_ADAPTER_T> GetAdapterList() const;

  static uint16_t ComputeChecksum(const void* bytes, int length);
  static uint16_t ComputeUdpChecksum(const uint8_t* ipPacket, int totalLength);

private:
  CMacProtoControl();
  void DeliverDatagram(const PACKET_RECORD_T& record);
  bool DeliverFrame(const uint8_t* frame, int length);  // false when no tap is set
  // One frame from either kind of capture: parsed, delivered when it is a device datagram.
  void HandleCapturedFrame(const uint8_t* frame, int captured, int wireLength);
  // Logs a capture's counters when frames were dropped since the last report.
  void LogCounterChanges(const std::string& adapterName, const CaptureCounters& counters,
                         uint64_t* lastDropped);
  void StopThreadsLocked();    // mutex_ held; also lets the answer port go
  void HoldReplyPortLocked();  // mutex_ held

  std::vector<NET_ADAPTER_T*> adapters_;
  std::vector<std::unique_ptr<CCaptureRelay>> relays_;  // owned; adapters point to them
  std::unique_ptr<CUdpPortHold> replyPort_;             // while a capture is open
  std::atomic<uint64_t> truncated_{0};
  std::atomic<int64_t> lastTruncationLog_{0};
  std::vector<std::thread> threads_;
  std::atomic<bool> stopping_{false};
  bool initialised_ = false;
  mutable std::mutex mutex_;  // guards initialisation, the adapter list's changes and Stop
  std::mutex sinkMutex_;      // the receive threads take only this one
  std::function<void(const PACKET_RECORD_T&)> sink_;
  std::function<void(const PACKET_RECORD_T&)> defaultSink_;
  std::function<void(const uint8_t*, int)> frameTap_;
};
