// ipscanner-capture: the only program of the package with cap_net_raw. A front end that may not
// capture itself starts it for one adapter; it opens the capture, drops every capability and
// relays frames over the socket pair it finds on descriptor 3: what the capture reads goes to
// the front end, and what the front end asks it to send is injected only when it is one of the
// program's own frames (transport/injection_policy.h): a datagram from 8505 to 8500 with the
// program's IPv4 header, from the adapter's MAC and one of the adapter's IPv4 addresses, which
// the helper reads itself; or the address-conflict ARP probe.
//
//   ipscanner-capture INTERFACE [arp]      (arp: the capture also lets ARP through)
//
// It reads no environment variable and no file, writes nothing but the socket, and ends when
// the socket reaches its end or its parent goes.

#include <net/if.h>
#include <pcap/pcap.h>
#include <poll.h>
#include <signal.h>
#include <sys/capability.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "transport/capture_open.h"
#include "transport/capture_relay_wire.h"
#include "transport/injection_policy.h"
#include "transport/interface_addresses.h"

namespace {

constexpr int kExitUsage = 2;

bool SendMessage(RelayType type, uint32_t value, const void* body, size_t length) {
  uint8_t message[kRelayMaxMessageBytes];
  if (length > sizeof(message) - sizeof(RelayHeader)) return false;
  RelayHeader header;
  header.type = static_cast<uint8_t>(type);
  header.value = value;
  std::memcpy(message, &header, sizeof(header));
  if (length > 0) std::memcpy(message + sizeof(header), body, length);
  // Blocks while the front end's side is full: the kernel ring buffers meanwhile.
  const ssize_t sent = send(kRelayHelperFd, message, sizeof(header) + length, MSG_NOSIGNAL);
  return sent == static_cast<ssize_t>(sizeof(header) + length);
}

[[noreturn]] void FailAndExit(CaptureOpenError error, const std::string& text) {
  SendMessage(RelayType::kFailed, static_cast<uint32_t>(error), text.data(), text.size());
  std::exit(1);
}

bool IsRelaySocket(int fd) {
  int type = 0;
  socklen_t length = sizeof(type);
  return getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) == 0 && type == SOCK_SEQPACKET;
}

// Nothing is needed once the capture is open: sending and reading use the open socket.
bool DropAllCapabilities() {
  cap_t none = cap_init();
  if (none == nullptr) return false;
  const bool dropped = cap_set_proc(none) == 0;
  cap_free(none);
  return dropped && prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0;
}

class Relay {
public:
  Relay(pcap_t* handle, const uint8_t mac[6], const std::string& interfaceName)
      : handle_(handle),
        addresses_([interfaceName] { return ReadInterfaceIpv4Addresses(interfaceName); },
                   std::chrono::steady_clock::now()) {
    std::memcpy(mac_, mac, 6);
  }

  // Until the front end closes its side or goes away.
  int Run() {
    pollfd fds[2] = {{pcap_get_selectable_fd(handle_), POLLIN, 0}, {kRelayHelperFd, POLLIN, 0}};
    auto nextCounters = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (true) {
      if (poll(fds, 2, 200) < 0 && errno != EINTR) return 1;
      int forwarded = 0;
      if (fds[0].revents != 0 && !ForwardCapturedFrames(&forwarded)) return 1;
      if (fds[1].revents & POLLIN) {
        if (!HandleRequest()) return 0;
      } else if (fds[1].revents & (POLLHUP | POLLERR)) {
        return 0;
      }
      // A burst is forwarded a run at a time: see kCaptureGatherTime.
      if (forwarded > 0) std::this_thread::sleep_for(kCaptureGatherTime);
      // Unasked, once a second, when something the front end should log has changed.
      const auto now = std::chrono::steady_clock::now();
      if (now >= nextCounters) {
        nextCounters = now + std::chrono::seconds(1);
        CaptureCounters counters = Counters();
        if (counters.dropped != reported_.dropped || counters.truncated != reported_.truncated ||
            counters.refused != reported_.refused) {
          if (!SendCounters(0)) return 0;
        }
      }
    }
  }

private:
  bool ForwardCapturedFrames(int* forwarded) {
    bool relayed = true;
    struct Context {
      Relay* self;
      bool* relayed;
    } context{this, &relayed};
    const int read = pcap_dispatch(
        handle_, 256,
        [](u_char* user, const pcap_pkthdr* header, const u_char* bytes) {
          auto* c = reinterpret_cast<Context*>(user);
          if (header->caplen < header->len) ++c->self->truncated_;
          if (!SendMessage(RelayType::kFrame, header->len, bytes, header->caplen))
            *c->relayed = false;
        },
        reinterpret_cast<u_char*>(&context));
    *forwarded = read > 0 ? read : 0;
    return read >= 0 && relayed;
  }

  // False when the front end is gone.
  bool HandleRequest() {
    uint8_t message[kRelayMaxMessageBytes];
    const ssize_t length = recv(kRelayHelperFd, message, sizeof(message), MSG_TRUNC);
    if (length <= 0) return false;
    if (length < static_cast<ssize_t>(sizeof(RelayHeader)) ||
        length > static_cast<ssize_t>(sizeof(message)))
      return true;  // not a message of ours: ignored
    RelayHeader header;
    std::memcpy(&header, message, sizeof(header));
    const uint8_t* body = message + sizeof(header);
    const int bodyLength = static_cast<int>(length - sizeof(header));
    if (header.type == static_cast<uint8_t>(RelayType::kInject)) {
      RelayInjectResult result = RelayInjectResult::kRefused;
      if (MayInject(body, bodyLength)) {
        result = pcap_sendpacket(handle_, body, bodyLength) == 0 ? RelayInjectResult::kInjected
                                                                 : RelayInjectResult::kSendFailed;
      } else {
        ++refused_;
      }
      return SendMessage(RelayType::kInjectResult, header.value, &result, sizeof(result));
    }
    if (header.type == static_cast<uint8_t>(RelayType::kCountersRequest))
      return SendCounters(header.value);
    return true;
  }

  bool MayInject(const uint8_t* frame, int length) {
    InjectionVerdict verdict = CheckInjectableFrame(frame, length, mac_, addresses_.Known());
    // The adapter may have got an address since the last read (a DHCP lease).
    if (verdict == InjectionVerdict::kForeignSource &&
        addresses_.RereadIfDue(std::chrono::steady_clock::now()))
      verdict = CheckInjectableFrame(frame, length, mac_, addresses_.Known());
    return verdict == InjectionVerdict::kDeviceDatagram || verdict == InjectionVerdict::kArpProbe;
  }

  CaptureCounters Counters() const {
    CaptureCounters counters;
    ReadLibraryCounters(handle_, &counters);
    counters.truncated = truncated_;
    counters.refused = refused_;
    return counters;
  }

  bool SendCounters(uint32_t sequence) {
    const CaptureCounters counters = Counters();
    reported_ = counters;
    const RelayCounters wire{counters.received, counters.dropped, counters.interfaceDropped,
                             counters.truncated, counters.refused};
    return SendMessage(RelayType::kCounters, sequence, &wire, sizeof(wire));
  }

  pcap_t* handle_;
  uint8_t mac_[6];
  CInterfaceAddresses addresses_;
  uint64_t truncated_ = 0;
  uint64_t refused_ = 0;
  CaptureCounters reported_;
};

}  // namespace

int main(int argc, char** argv) {
  clearenv();
  // Ends with the front end, even when it is killed. The setting does not survive the start of
  // a program with capabilities, so it is made here. A parent that went before this line has
  // closed its end of the socket, and the first message to it fails.
  prctl(PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0);
  if (!IsRelaySocket(kRelayHelperFd)) return kExitUsage;
  close_range(kRelayHelperFd + 1, ~0U, 0);

  const std::string interfaceName = argc >= 2 ? argv[1] : "";
  const bool withArp = argc == 3 && std::strcmp(argv[2], "arp") == 0;
  if (argc < 2 || argc > 3 || (argc == 3 && !withArp) || interfaceName.empty() ||
      interfaceName.size() >= IFNAMSIZ || interfaceName.find('/') != std::string::npos) {
    FailAndExit(CaptureOpenError::kOther, "usage: ipscanner-capture INTERFACE [arp]");
  }
  uint8_t mac[6] = {};
  if (!ReadInterfaceMac(interfaceName, mac))
    FailAndExit(CaptureOpenError::kNoSuchDevice, "no such interface");

  const CaptureOpenResult opened =
      OpenDeviceCapture(interfaceName, withArp ? CaptureTraffic::kDeviceProtocolAndArp
                                               : CaptureTraffic::kDeviceProtocol);
  if (opened.handle == nullptr) FailAndExit(opened.error, opened.text);
  if (!DropAllCapabilities()) FailAndExit(CaptureOpenError::kOther, "cannot drop capabilities");
  if (pcap_setnonblock(opened.handle, 1, nullptr) != 0)
    FailAndExit(CaptureOpenError::kOther, "cannot make the capture non-blocking");
  if (!SendMessage(RelayType::kReady, 0, mac, sizeof(mac))) return 1;
  return Relay(opened.handle, mac, interfaceName).Run();
}
