#include "transport/mac_proto_control.h"

#include <fcntl.h>
#include <pcap/pcap.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/control.h"
#include "platform/adapters.h"
#include "shell/global_utils.h"
#include "shell/log.h"
#include "transport/adapter_choice.h"
#include "transport/arp_frame.h"
#include "transport/checksum.h"
#include "transport/udp_frame.h"

namespace {

constexpr int kSnapshotLength = 65536;
constexpr int kReadTimeoutMs = 1;
constexpr char kCaptureFilter[] = "port 8500";
// Widened for address probes: ARP replies reach the frame tap.
constexpr char kCaptureFilterWithArp[] = "port 8500 or arp";
constexpr int kRequiredLinkType = DLT_EN10MB;  // 1

// Kernel capture buffer. The library's default (2 MB) holds only a few dozen of the 1 ms
// blocks the read time-out produces, so a discovery answered by thousands of devices overflowed
// it whenever the receive thread was not scheduled for a moment; 32 MB keeps a few hundred.
constexpr int kCaptureBufferBytes = 32 << 20;

// pcap_open_live with a larger buffer: same snapshot length, promiscuous mode and time-out.
pcap_t* OpenLive(const std::string& device, char* errbuf) {
  pcap_t* handle = pcap_create(device.c_str(), errbuf);
  if (handle == nullptr) return nullptr;
  pcap_set_snaplen(handle, kSnapshotLength);
  pcap_set_promisc(handle, 1);
  pcap_set_timeout(handle, kReadTimeoutMs);
  pcap_set_buffer_size(handle, kCaptureBufferBytes);
  const int status = pcap_activate(handle);
  if (status < 0) {
    // The reason in words a user can act on; the library's own text for anything else.
    if (status == PCAP_ERROR_PERM_DENIED) {
      std::snprintf(errbuf, PCAP_ERRBUF_SIZE,
                    "no rights to capture (run as root or grant the executable cap_net_raw and "
                    "cap_net_admin)");
    } else if (status == PCAP_ERROR_IFACE_NOT_UP) {
      std::snprintf(errbuf, PCAP_ERRBUF_SIZE, "the interface is not up");
    } else if (status == PCAP_ERROR_NO_SUCH_DEVICE) {
      std::snprintf(errbuf, PCAP_ERRBUF_SIZE, "no such interface");
    } else {
      std::snprintf(errbuf, PCAP_ERRBUF_SIZE, "%s", pcap_geterr(handle));
      if (errbuf[0] == '\0')
        std::snprintf(errbuf, PCAP_ERRBUF_SIZE, "%s", pcap_statustostr(status));
    }
    pcap_close(handle);
    return nullptr;
  }
  // The capture socket must not live on in a program we start (the successor of a restart, the
  // web server): one more set of captures per restart otherwise.
  const int fd = pcap_get_selectable_fd(handle);
  if (fd >= 0) fcntl(fd, F_SETFD, fcntl(fd, F_GETFD) | FD_CLOEXEC);
  return handle;
}

std::mutex g_promptHookMutex;
std::function<void(const std::string&)> g_promptHook;

// Through the GUI's hook (a message box) when one is set, otherwise on standard error.
void ShowPromptText(const std::string& text) {
  std::function<void(const std::string&)> hook;
  {
    std::lock_guard<std::mutex> lock(g_promptHookMutex);
    hook = g_promptHook;
  }
  if (hook) {
    hook(text);
  } else {
    std::fprintf(stderr, "%s\n", text.c_str());
  }
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

CMacProtoControl::~CMacProtoControl() { Stop(); }

int CMacProtoControl::Init(bool captureArp) {
  std::string error;
  MacProtoInitOptions options;
  options.captureArp = captureArp;
  if (Init(options, &error) == 0) return 0;
  // The installer prompt only when no adapter is there at all; a named adapter that cannot be
  // used is not a missing driver, and the user is told what is wrong instead.
  if (error == kNoAdapterPromptText) ShowNoAdapterPrompt();
  ShowAdapterError(error);
}

int CMacProtoControl::Init(const MacProtoInitOptions& options, std::string* errorText) {
  std::lock_guard<std::mutex> lock(mutex_);
  // A failed attempt leaves nothing open, so that a later attempt starts from scratch.
  auto fail = [this, errorText](const std::string& text) {
    if (errorText != nullptr) *errorText = text;
    StopThreadsLocked();
    for (NET_ADAPTER_T* adapter : adapters_) {
      if (adapter->handle != nullptr) pcap_close(adapter->handle);
      delete adapter;
    }
    adapters_.clear();
    stopping_ = false;
    return -1;
  };
  if (initialised_) return 0;

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
    return fail("the capture library could not be loaded");
  }

  char errbuf[PCAP_ERRBUF_SIZE] = {};
  pcap_if_t* devices = nullptr;
  if (pcap_findalldevs(&devices, errbuf) != 0) {
    LogError("%s: pcap_findalldevs failed.[%s]", "CMacProtoControl::Init", errbuf);
    return fail(std::string("cannot list capture devices: ") + errbuf);
  }

  int started = 0;
  std::string openError;
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

    errbuf[0] = '\0';
    pcap_t* handle = OpenLive(name, errbuf);
    if (handle == nullptr) {
      LogError("%s: pcap_open_live(%s) failed: %s", "CMacProtoControl::Init", name.c_str(), errbuf);
      openError = "cannot open network adapter " + name + ": " + errbuf;
      break;
    }
    picked->handle = handle;
    if (pcap_datalink(handle) != kRequiredLinkType) {
      LogError("%s: pcap_datalink(%s) failed.", "CMacProtoControl::Init", description.c_str());
      continue;
    }
    bpf_program program{};
    if (pcap_compile(handle, &program, options.captureArp ? kCaptureFilterWithArp : kCaptureFilter,
                     1, 0) != 0) {
      LogError("%s: pcap_compile(%s) failed.", "CMacProtoControl::Init", description.c_str());
      continue;
    }
    pcap_setfilter(handle, &program);
    pcap_freecode(&program);
    threads_.emplace_back(&CMacProtoControl::MacProtoRecvThread, this, handle);
    ++started;
  }
  pcap_freealldevs(devices);

  if (!openError.empty()) return fail(openError);
  if (started == 0) {
    if (!options.interfaceName.empty()) {
      const std::string problem = InterfaceProblem(options.interfaceName);
      return fail("interface " + options.interfaceName + " " +
                  (problem.empty() ? "is not an Ethernet capture device" : problem));
    }
    // A setting that names an interface the machine does not have (or cannot use) says so.
    if (!all && !adapterName.empty()) {
      const std::string problem = InterfaceProblem(adapterName);
      if (!problem.empty()) {
        return fail("the setting AdapterName in config/SystemSetting.ini names interface " +
                    adapterName + ", which " + problem);
      }
    }
    return fail(kNoAdapterPromptText);
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
  if (adapter->handle == nullptr) return -1;
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
  if (pcap_sendpacket(adapter->handle, frame, frameLength) != 0) return -1;
  LogInfo("%s: send succeeded.", "CMacProtoControl::Send");
  return 0;
}

void CMacProtoControl::MacProtoRecvThread(pcap_t* handle) {
  bool inErrorStreak = false;
  while (!stopping_.load(std::memory_order_relaxed)) {
    pcap_pkthdr* header = nullptr;
    const u_char* frame = nullptr;
    const int result = pcap_next_ex(handle, &header, &frame);
    if (result == 0) continue;  // read time-out: poll again
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

    auto* record = new (std::nothrow) PACKET_RECORD_T;
    if (record == nullptr) continue;
    const int captured = static_cast<int>(header->caplen);
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
    delete record;
  }
}

void CMacProtoControl::DeliverDatagram(const PACKET_RECORD_T& record) {
  std::function<void(const PACKET_RECORD_T&)> sink;
  {
    std::lock_guard<std::mutex> lock(sinkMutex_);
    sink = sink_;
  }
  if (sink) {
    sink(record);
    return;
  }
  CControl::GetInstance()->PostMsg(MSG_CLASS_SOCKET, 0, 0, &record, sizeof(PACKET_RECORD_T));
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
    if (adapter->handle == nullptr) continue;
    if (!adapterName.empty() && adapter->name != adapterName) continue;
    sent = pcap_sendpacket(adapter->handle, frame, length) == 0 || sent;
  }
  return sent ? 0 : -1;
}

bool CMacProtoControl::LoadNpcapDll() { return true; }

void CMacProtoControl::ShowNoAdapterPrompt() {
  LogError("%s", kNoAdapterPromptText);
  ShowPromptText(kNoAdapterPromptText);
  const std::string script = CGlobalUtils::MakeModulePath(kCaptureInstallScript);
  if (CGlobalUtils::FileExists(script)) CGlobalUtils::CmdOperate(script);
  std::exit(0);
}

void CMacProtoControl::ShowAdapterError(const std::string& text) {
  LogError("%s: %s", "CMacProtoControl::Init", text.c_str());
  ShowPromptText(text);
  std::exit(1);
}

void CMacProtoControl::SetNoAdapterPromptHook(std::function<void(const std::string&)> hook) {
  std::lock_guard<std::mutex> lock(g_promptHookMutex);
  g_promptHook = std::move(hook);
}

void CMacProtoControl::SetReceiveSink(std::function<void(const PACKET_RECORD_T&)> sink) {
  std::lock_guard<std::mutex> lock(sinkMutex_);
  sink_ = std::move(sink);
}

void CMacProtoControl::Stop() {
  std::lock_guard<std::mutex> lock(mutex_);
  StopThreadsLocked();
}

void CMacProtoControl::StopThreadsLocked() {
  stopping_ = true;
  for (NET_ADAPTER_T* adapter : adapters_)
    if (adapter->handle != nullptr) pcap_breakloop(adapter->handle);
  for (std::thread& thread : threads_)
    if (thread.joinable()) thread.join();
  threads_.clear();
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
