#include "transport/mac_proto_control.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/if_ether.h>
#include <pcap/pcap.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/adapters.h"
#include "platform/udp_port_hold.h"
#include "shell/global_utils.h"
#include "shell/log.h"
#include "transport/adapter_choice.h"
#include "transport/arp_frame.h"
#include "transport/capture_relay.h"
#include "transport/checksum.h"
#include "transport/udp_frame.h"

namespace {

std::string PortProblemText(int error) {
  return error == EADDRINUSE ? std::string("is held by another program")
                             : std::string("cannot be held: ") + std::strerror(error);
}

// A burst of cut frames is logged at most once a second.
constexpr int64_t kTruncationLogIntervalMs = 1000;

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::mutex g_promptHookMutex;
std::function<void(const CaptureFailure&)> g_promptHook;

// Through the GUI's hook (a message box) when one is set, otherwise on standard error.
void ShowPromptText(const CaptureFailure& failure) {
  std::function<void(const CaptureFailure&)> hook;
  {
    std::lock_guard<std::mutex> lock(g_promptHookMutex);
    hook = g_promptHook;
  }
  if (hook) {
    hook(failure);
  } else {
    std::fprintf(stderr, "%s\n", CaptureFailureText(failure).c_str());
  }
}

CaptureFailure FailureOfKind(CaptureFailureKind kind, std::string adapter = "",
                             std::string detail = "") {
  CaptureFailure failure;
  failure.kind = kind;
  failure.adapter = std::move(adapter);
  failure.detail = std::move(detail);
  return failure;
}

// The record's IP text is UTF-16; an address is plain ASCII, anything else is invalid.
bool RecordIp(const char16_t* wide, uint32_t* ip) {
  char text[kPacketIpChars] = {};
  for (int i = 0; i < kPacketIpChars - 1 && wide[i] != 0; ++i) {
    if (wide[i] > 0x7F) return false;
    text[i] = static_cast<char>(wide[i]);
  }
  return ParseIpv4(text, ip);
}

}  // namespace

CMacProtoControl* CMacProtoControl::GetInstance() {
  static CMacProtoControl* instance = new CMacProtoControl();
  return instance;
}

CMacProtoControl::CMacProtoControl() = default;

CMacProtoControl::~CMacProtoControl() { Stop(); }

bool CMacProtoControl::ProcessMayCapture() {
  const int fd = socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, htons(ETH_P_ALL));
  if (fd >= 0) {
    close(fd);
    return true;
  }
  return errno != EPERM && errno != EACCES;
}

int CMacProtoControl::Init(bool captureArp) {
  CaptureFailure failure;
  MacProtoInitOptions options;
  options.traffic =
      captureArp ? CaptureTraffic::kDeviceProtocolAndArp : CaptureTraffic::kDeviceProtocol;
  if (Init(options, &failure) == 0) return 0;
  // The installer prompt only when no adapter is there at all; a named adapter that cannot be
  // used is not a missing driver, and the user is told what is wrong instead.
  if (failure.kind == CaptureFailureKind::kNoAdapter) ShowNoAdapterPrompt();
  ShowAdapterError(failure);
}

int CMacProtoControl::Init(const MacProtoInitOptions& options, CaptureFailure* failure) {
  std::lock_guard<std::mutex> lock(mutex_);
  // A failed attempt leaves nothing open, so that a later attempt starts from scratch.
  bool noRights = false;
  auto fail = [this, failure, &noRights](CaptureFailure why) {
    why.noRights = noRights;
    if (failure != nullptr) *failure = std::move(why);
    StopThreadsLocked();
    relays_.clear();
    for (NET_ADAPTER_T* adapter : adapters_) {
      if (adapter->handle != nullptr) pcap_close(adapter->handle);
      delete adapter;
    }
    adapters_.clear();
    stopping_ = false;
    return -1;
  };
  if (initialised_) return 0;
  HoldReplyPortLocked();
  // Root may open the capture itself; everyone else goes through the helper, which alone
  // carries the capability.
  const bool viaHelper = options.viaHelper || !ProcessMayCapture();
  const std::string helperPath = CGlobalUtils::MakeModulePath(kCaptureHelperName);

  // With a named interface the settings are not read and only that interface qualifies.
  std::string interfaceSetting;
  std::string adapterName;
  if (!options.interfaceName.empty()) {
    adapterName = options.interfaceName;
  } else if (options.allAdapters) {
    interfaceSetting = "All";
  } else {
    interfaceSetting = CGlobalUtils::ReadInterfaceSetting();
    adapterName = CGlobalUtils::ReadAdapterNameSetting();
  }
  const bool all = interfaceSetting == "All";

  for (const AdapterEntry& entry : CGlobalUtils::GetAdapters()) {
    const std::string ip = entry.ipAddresses.empty() ? "0.0.0.0" : entry.ipAddresses.front();
    const std::string mac = CGlobalUtils::MacBytesToText(entry.mac);
    LogInfo("%s: Find Adapter Name=%s, IP=%s, MAC=%s, Description:%s", "CMacProtoControl::Init",
            entry.szAdapterName.c_str(), ip.c_str(), mac.c_str(), entry.szDescription.c_str());
    if (ip == "0.0.0.0") continue;
    auto* adapter = new NET_ADAPTER_T();
    adapter->name = entry.szAdapterName;
    adapter->description = entry.szDescription;
    adapter->ip = ip;
    std::memcpy(adapter->mac, entry.mac, 6);
    adapters_.push_back(adapter);
  }

  if (!LoadNpcapDll()) {
    LogError("Couldn't load Npcap\n");
    return fail(FailureOfKind(CaptureFailureKind::kLibraryMissing));
  }

  char errbuf[PCAP_ERRBUF_SIZE] = {};
  pcap_if_t* devices = nullptr;
  if (pcap_findalldevs(&devices, errbuf) != 0) {
    LogError("%s: pcap_findalldevs failed.[%s]", "CMacProtoControl::Init", errbuf);
    return fail(FailureOfKind(CaptureFailureKind::kListFailed, "", errbuf));
  }

  int started = 0;
  CaptureFailure openFailure;
  for (pcap_if_t* device = devices; device != nullptr; device = device->next) {
    const std::string name = device->name != nullptr ? device->name : "";
    const std::string description = device->description != nullptr ? device->description : "";
    LogInfo("%s: Find Device Name=%s, Description=%s", "CMacProtoControl::Init", name.c_str(),
            description.c_str());

    std::vector<std::string> names;
    for (const NET_ADAPTER_T* adapter : adapters_) names.push_back(adapter->name);
    const int index = PickAdapterIndex(names, name, interfaceSetting, adapterName);
    if (index < 0) continue;
    NET_ADAPTER_T* picked = adapters_[index];
    LogInfo(all ? "%s: ALL:Adding Adapter Name=%s, IP=%s" : "%s: Adding Adapter Name=%s, IP=%s",
            "CMacProtoControl::Init", picked->name.c_str(), picked->ip.c_str());

    if (viaHelper) {
      std::unique_ptr<CCaptureRelay> relay =
          CCaptureRelay::Start(helperPath, name, options.traffic, &openFailure);
      if (relay == nullptr) {
        LogError("%s: capture helper for %s: %s", "CMacProtoControl::Init", name.c_str(),
                 CaptureFailureText(openFailure).c_str());
        if (!ProcessMayCapture()) noRights = true;
        break;
      }
      LogInfo("%s: capture of %s through the helper (pid %d)", "CMacProtoControl::Init",
              name.c_str(), static_cast<int>(relay->HelperPid()));
      picked->relay = relay.get();
      threads_.emplace_back(&CMacProtoControl::MacProtoRelayThread, this, relay.get(), name);
      pthread_setname_np(threads_.back().native_handle(), "capture-relay");
      relays_.push_back(std::move(relay));
      ++started;
      continue;
    }
    const CaptureOpenResult opened = OpenDeviceCapture(name, options.traffic);
    if (opened.error == CaptureOpenError::kNotEthernet ||
        opened.error == CaptureOpenError::kLoopback || opened.error == CaptureOpenError::kFilter) {
      LogError("%s: %s: %s.", "CMacProtoControl::Init", description.c_str(), opened.text.c_str());
      continue;
    }
    if (opened.handle == nullptr) {
      LogError("%s: pcap_open_live(%s) failed: %s", "CMacProtoControl::Init", name.c_str(),
               opened.text.c_str());
      openFailure = FailureOfKind(CaptureFailureKind::kOpenRefused, name, opened.text);
      openFailure.openError = opened.error;
      if (opened.error == CaptureOpenError::kNoRights) noRights = true;
      break;
    }
    pcap_t* handle = opened.handle;
    picked->handle = handle;
    threads_.emplace_back(&CMacProtoControl::MacProtoRecvThread, this, handle, name);
    pthread_setname_np(threads_.back().native_handle(), "capture-rx");
    ++started;
  }
  pcap_freealldevs(devices);

  if (openFailure.Failed()) return fail(openFailure);
  if (started == 0) {
    if (!options.interfaceName.empty()) {
      CaptureFailure unusable =
          FailureOfKind(CaptureFailureKind::kInterfaceUnusable, options.interfaceName);
      unusable.interfaceFault = CheckInterface(options.interfaceName);
      return fail(unusable);
    }
    // A setting that names an interface the machine does not have (or cannot use) says so.
    if (!all && !adapterName.empty()) {
      const InterfaceFault fault = CheckInterface(adapterName);
      if (fault != InterfaceFault::kNone) {
        CaptureFailure unusable = FailureOfKind(CaptureFailureKind::kSettingUnusable, adapterName);
        unusable.interfaceFault = fault;
        return fail(unusable);
      }
    }
    return fail(FailureOfKind(CaptureFailureKind::kNoAdapter));
  }
  initialised_ = true;
  return 0;
}

int CMacProtoControl::Send(const PACKET_RECORD_T* record) {
  // 0 only when some adapter took the frame: a frame that could not be built (or was sent
  // nowhere) is a failure, not a success.
  bool sent = false;
  for (NET_ADAPTER_T* adapter : adapters_) sent = SendOnAdapter(record, adapter) == 0 || sent;
  return sent ? 0 : -1;
}

int CMacProtoControl::SendOnAdapter(const PACKET_RECORD_T* record, NET_ADAPTER_T* adapter) {
  if (record == nullptr || adapter == nullptr) return -1;
  if (adapter->handle == nullptr && adapter->relay == nullptr) return -1;
  // The work buffer holds 2048 datagram bytes; anything larger (or a negative length) is
  // refused instead of being read past the record or written past the buffer.
  if (record->nDataLen < 0 || record->nDataLen > kMaxSendDatagramBytes) {
    LogError("%s: datagram length %d refused (0 to %d bytes can be sent).",
             "CMacProtoControl::SendOnAdapter", record->nDataLen, kMaxSendDatagramBytes);
    return -1;
  }
  FrameEndpoint source;
  FrameEndpoint destination;
  if (!ParseIpv4(adapter->ip.c_str(), &source.ip) || !RecordIp(record->szIP, &destination.ip)) {
    LogError("%s: invalid IPv4 address, frame not sent.", "CMacProtoControl::SendOnAdapter");
    return -1;
  }
  std::memcpy(source.mac, adapter->mac, 6);
  source.port = kSendSourcePort;
  std::memcpy(destination.mac, record->mac, 6);
  destination.port = static_cast<uint16_t>(record->nPort & 0xFFFF);

  uint8_t frame[kMaxSendFrameBytes];
  const int frameLength = BuildUdpFrame(source, destination, NextIpIdentification(), record->data,
                                        record->nDataLen, frame, sizeof(frame));
  if (frameLength < 0) return -1;
  if (adapter->handle != nullptr) {
    if (pcap_sendpacket(adapter->handle, frame, frameLength) != 0) return -1;
  } else {
    const int injected = adapter->relay->Inject(frame, frameLength);
    if (injected == CCaptureRelay::kRefused)
      LogError("%s: the capture helper refused the frame.", "CMacProtoControl::SendOnAdapter");
    if (injected != 0) return -1;
  }
  LogInfo("%s: send succeeded.", "CMacProtoControl::Send");
  return 0;
}

void CMacProtoControl::MacProtoRecvThread(pcap_t* handle, std::string adapterName) {
  bool inErrorStreak = false;
  uint64_t lastDropped = 0;
  int64_t nextCounterCheck = NowMs() + 1000;
  // The thread waits on the capture itself and then takes every frame the ring holds: one wake
  // for a run of frames, not one for each.
  char errbuf[PCAP_ERRBUF_SIZE] = {};
  const bool nonBlocking = pcap_setnonblock(handle, 1, errbuf) == 0;
  const int fd = nonBlocking ? pcap_get_selectable_fd(handle) : -1;
  while (!stopping_.load(std::memory_order_relaxed)) {
    // Once a second: a loss is logged while it happens, not only at the end.
    if (NowMs() >= nextCounterCheck) {
      nextCounterCheck = NowMs() + 1000;
      CaptureCounters counters;
      if (ReadLibraryCounters(handle, &counters))
        LogCounterChanges(adapterName, counters, &lastDropped);
    }
    int result = 0;
    if (fd >= 0) {
      pollfd wait{fd, POLLIN, 0};
      if (poll(&wait, 1, kCaptureReadTimeoutMs) <= 0) continue;  // time-out: the stop flag
      result = pcap_dispatch(
          handle, -1,
          [](u_char* user, const pcap_pkthdr* header, const u_char* frame) {
            reinterpret_cast<CMacProtoControl*>(user)->HandleCapturedFrame(
                frame, static_cast<int>(header->caplen), static_cast<int>(header->len));
          },
          reinterpret_cast<u_char*>(this));
    } else {
      pcap_pkthdr* header = nullptr;
      const u_char* frame = nullptr;
      result = pcap_next_ex(handle, &header, &frame);
      if (result == 1)
        HandleCapturedFrame(frame, static_cast<int>(header->caplen), static_cast<int>(header->len));
    }
    if (result == PCAP_ERROR_BREAK) break;
    if (result < 0) {
      // A capture error (interface gone or down) repeats on every call: log it once and
      // retry slowly instead of spinning.
      if (!inErrorStreak)
        LogError("%s: pcap_next failed.[%s]", "MacProtoRecvThread", pcap_geterr(handle));
      inErrorStreak = true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      continue;
    }
    inErrorStreak = false;
    // Frames came: more are likely on their way (a discovery's answers arrive by the thousand).
    // A short pause (kCaptureGatherTime) lets them gather in the ring, so that a busy segment
    // costs a wake every few milliseconds instead of a wake a frame; a frame that comes during
    // the pause waits at most that long.
    if (result > 0 && fd >= 0) std::this_thread::sleep_for(kCaptureGatherTime);
  }
}

void CMacProtoControl::MacProtoRelayThread(CCaptureRelay* relay, std::string adapterName) {
  uint64_t lastDropped = 0;
  const bool asked = relay->ReceiveLoop(
      [this](const uint8_t* frame, int captured, int wireLength) {
        HandleCapturedFrame(frame, captured, wireLength);
      },
      [this, &adapterName, &lastDropped](const CaptureCounters& counters) {
        LogCounterChanges(adapterName, counters, &lastDropped);
      });
  if (!asked)
    LogError("%s: the capture helper for %s ended; nothing more is received on it.",
             "MacProtoRelayThread", adapterName.c_str());
}

void CMacProtoControl::HandleCapturedFrame(const uint8_t* frame, int captured, int wireLength) {
  if (wireLength > captured) {
    const uint64_t cut = truncated_.fetch_add(1) + 1;
    const int64_t now = NowMs();
    int64_t last = lastTruncationLog_.load();
    if (now - last >= kTruncationLogIntervalMs &&
        lastTruncationLog_.compare_exchange_strong(last, now))
      LogError("%s: a frame of %d bytes was cut at %d bytes (%llu cut so far).",
               "MacProtoRecvThread", wireLength, captured, static_cast<unsigned long long>(cut));
  }
  // Each receive thread parses into its own record: nothing is allocated per frame.
  thread_local PACKET_RECORD_T ownRecord;
  PACKET_RECORD_T* record = &ownRecord;
  const FrameParseResult parsed = ParseUdpFrameToRecord(frame, captured, record);
  if (parsed == FrameParseResult::kTooShort) {
    LogError("%s failed: too short length.", "MacProtoRecvThread");
  } else if (parsed == FrameParseResult::kTooLong) {
    // The record's datagram field holds 4160 bytes (jumbo frames could carry more).
    LogError("%s: frame of %d bytes dropped: %s.", "MacProtoRecvThread", captured,
             FrameParseResultText(parsed));
  } else if (parsed == FrameParseResult::kNotIpv4 && DeliverFrame(frame, captured)) {
    // Not a datagram: an ARP frame for the tap (the filter lets only those through).
  } else if (parsed != FrameParseResult::kOk) {
    LogError("%s: frame dropped: %s.", "MacProtoRecvThread", FrameParseResultText(parsed));
  } else {
    if (record->nDataLen >= 2 && record->data[0] == 0xBC && record->data[1] == 0xDE)
      DeliverDatagram(*record);
    char ip[kPacketIpChars] = {};
    for (int i = 0; i < kPacketIpChars - 1 && record->szIP[i] != 0; ++i)
      ip[i] = static_cast<char>(record->szIP[i]);
    const uint8_t* m = record->mac;
    LogInfo("%s:Recv Multicast/UDP from(%s:%d,MAC:%02X%02X%02X%02X%02X%02X) %d bytes",
            "MacProtoRecvThread", ip, record->nPort, m[0], m[1], m[2], m[3], m[4], m[5],
            record->nDataLen);
  }
}

void CMacProtoControl::LogCounterChanges(const std::string& adapterName,
                                         const CaptureCounters& counters, uint64_t* lastDropped) {
  if (counters.dropped + counters.interfaceDropped <= *lastDropped) return;
  *lastDropped = counters.dropped + counters.interfaceDropped;
  LogError(
      "%s: the capture of %s lost frames: %llu dropped by the kernel, %llu by the adapter, "
      "of %llu received.",
      "MacProtoRecvThread", adapterName.c_str(), static_cast<unsigned long long>(counters.dropped),
      static_cast<unsigned long long>(counters.interfaceDropped),
      static_cast<unsigned long long>(counters.received));
}

CaptureCounters CMacProtoControl::GetCaptureCounters() const {
  std::lock_guard<std::mutex> lock(mutex_);
  CaptureCounters total;
  for (const NET_ADAPTER_T* adapter : adapters_) {
    CaptureCounters one;
    const bool read = adapter->handle != nullptr  ? ReadLibraryCounters(adapter->handle, &one)
                      : adapter->relay != nullptr ? adapter->relay->ReadCounters(&one)
                                                  : false;
    if (!read) continue;
    total.received += one.received;
    total.dropped += one.dropped;
    total.interfaceDropped += one.interfaceDropped;
    total.refused += one.refused;
  }
  total.truncated = truncated_.load();
  return total;
}

void CMacProtoControl::DeliverDatagram(const PACKET_RECORD_T& record) {
  std::function<void(const PACKET_RECORD_T&)> sink;
  {
    std::lock_guard<std::mutex> lock(sinkMutex_);
    sink = sink_ ? sink_ : defaultSink_;
  }
  if (sink) sink(record);
}

bool CMacProtoControl::DeliverFrame(const uint8_t* frame, int length) {
  std::function<void(const uint8_t*, int)> tap;
  {
    std::lock_guard<std::mutex> lock(sinkMutex_);
    tap = frameTap_;
  }
  if (!tap) return false;
  tap(frame, length);
  return true;
}

void CMacProtoControl::SetFrameTap(std::function<void(const uint8_t* frame, int length)> tap) {
  std::lock_guard<std::mutex> lock(sinkMutex_);
  frameTap_ = std::move(tap);
}

int CMacProtoControl::SendArpProbe(const uint8_t* frame, int length,
                                   const std::string& adapterName) {
  // Only frames shaped like our own probes leave through here.
  if (!IsArpProbe(frame, length)) return -1;
  bool sent = false;
  for (NET_ADAPTER_T* adapter : adapters_) {
    if (!adapterName.empty() && adapter->name != adapterName) continue;
    if (adapter->handle != nullptr) {
      sent = pcap_sendpacket(adapter->handle, frame, length) == 0 || sent;
    } else if (adapter->relay != nullptr) {
      // The capture helper checks the frame again and injects it on its adapter only.
      sent = adapter->relay->Inject(frame, length) == 0 || sent;
    }
  }
  return sent ? 0 : -1;
}

bool CMacProtoControl::LoadNpcapDll() { return true; }

void CMacProtoControl::ShowNoAdapterPrompt() {
  LogError("%s", kNoAdapterPromptText);
  ShowPromptText(FailureOfKind(CaptureFailureKind::kNoAdapter));
  const std::string script = CGlobalUtils::MakeModulePath(kCaptureInstallScript);
  if (CGlobalUtils::FileExists(script)) CGlobalUtils::CmdOperate(script);
  std::exit(0);
}

void CMacProtoControl::ShowAdapterError(const CaptureFailure& failure) {
  LogError("%s: %s", "CMacProtoControl::Init", CaptureFailureText(failure).c_str());
  ShowPromptText(failure);
  std::exit(1);
}

void CMacProtoControl::SetNoAdapterPromptHook(std::function<void(const CaptureFailure&)> hook) {
  std::lock_guard<std::mutex> lock(g_promptHookMutex);
  g_promptHook = std::move(hook);
}

void CMacProtoControl::SetReceiveSink(std::function<void(const PACKET_RECORD_T&)> sink) {
  std::lock_guard<std::mutex> lock(sinkMutex_);
  sink_ = std::move(sink);
}

void CMacProtoControl::SetDefaultReceiveSink(std::function<void(const PACKET_RECORD_T&)> sink) {
  std::lock_guard<std::mutex> lock(sinkMutex_);
  defaultSink_ = std::move(sink);
}

void CMacProtoControl::Stop() {
  // What the captures saw, once, while they are still open: a loss is never silent.
  bool report = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    report = initialised_ && !stopping_.load();
  }
  if (report) {
    const CaptureCounters counters = GetCaptureCounters();
    LogInfo(
        "%s: capture counters: %llu received, %llu dropped by the kernel, %llu by the "
        "adapter, %llu cut at the snapshot length, %llu refused for sending.",
        "CMacProtoControl::Stop", static_cast<unsigned long long>(counters.received),
        static_cast<unsigned long long>(counters.dropped),
        static_cast<unsigned long long>(counters.interfaceDropped),
        static_cast<unsigned long long>(counters.truncated),
        static_cast<unsigned long long>(counters.refused));
  }
  std::lock_guard<std::mutex> lock(mutex_);
  StopThreadsLocked();
}

void CMacProtoControl::StopThreadsLocked() {
  stopping_ = true;
  for (NET_ADAPTER_T* adapter : adapters_)
    if (adapter->handle != nullptr) pcap_breakloop(adapter->handle);
  for (const std::unique_ptr<CCaptureRelay>& relay : relays_) relay->Shutdown();
  for (std::thread& thread : threads_)
    if (thread.joinable()) thread.join();
  threads_.clear();
  replyPort_.reset();
}

void CMacProtoControl::HoldReplyPortLocked() {
  // The devices answer to the port our frames come from. The capture reads those answers, but
  // without a socket on the port the kernel would also answer each with an ICMP "port
  // unreachable"; binding it needs no privilege, so the front end holds it itself even when
  // the capture runs in the helper.
  replyPort_ = std::make_unique<CUdpPortHold>(kSendSourcePort);
  if (replyPort_->Held()) {
    LogInfo("%s: holding UDP port %u while the capture runs.", "CMacProtoControl::Init",
            static_cast<unsigned>(kSendSourcePort));
    return;
  }
  LogError(
      "%s: UDP port %u %s; this computer may answer device replies with ICMP "
      "\"port unreachable\". The capture works all the same.",
      "CMacProtoControl::Init", static_cast<unsigned>(kSendSourcePort),
      PortProblemText(replyPort_->BindError()).c_str());
}

bool CMacProtoControl::ReplyPortHeld() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return replyPort_ != nullptr && replyPort_->Held();
}

std::string CMacProtoControl::ReplyPortProblem() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (replyPort_ == nullptr || replyPort_->Held()) return "";
  return PortProblemText(replyPort_->BindError());
}

std::vector<NET_ADAPTER_T> CMacProtoControl::GetAdapterList() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<NET_ADAPTER_T> copy;
  for (const NET_ADAPTER_T* adapter : adapters_) copy.push_back(*adapter);
  return copy;
}

uint16_t CMacProtoControl::ComputeChecksum(const void* bytes, int length) {
  return length < 0 ? ::ComputeChecksum(bytes, 0)
                    : ::ComputeChecksum(bytes, static_cast<size_t>(length));
}

uint16_t CMacProtoControl::ComputeUdpChecksum(const uint8_t* ipPacket, int totalLength) {
  return totalLength < 0 ? 0 : ::ComputeUdpChecksum(ipPacket, static_cast<size_t>(totalLength));
}
