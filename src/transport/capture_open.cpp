#include "transport/capture_open.h"

#include <fcntl.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <pcap/pcap.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

const char* CaptureFilterText(CaptureTraffic traffic) {
  // Devices answer from 8500 to the program's 8505; nothing else (TCP to a local service on
  // 8500, say) is any business of a capture that the group's members may read.
  return traffic == CaptureTraffic::kDeviceProtocolAndArp
             ? "(udp and (port 8500 or port 8505)) or arp"
             : "udp and (port 8500 or port 8505)";
}

namespace {

enum class LinkKind { kEthernet, kLoopback, kOther, kUnknown };

// On Linux the loopback interface reports the Ethernet link type to the capture library, so the
// link type alone does not tell it apart: its flags and hardware type do. kUnknown when the
// interface cannot be asked (it does not exist): the capture library then says why.
LinkKind InterfaceLinkKind(const std::string& name) {
  if (name.empty() || name.size() >= IFNAMSIZ) return LinkKind::kUnknown;
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return LinkKind::kUnknown;
  ifreq request{};
  std::memcpy(request.ifr_name, name.data(), name.size());
  LinkKind kind = LinkKind::kUnknown;
  if (ioctl(fd, SIOCGIFFLAGS, &request) == 0) {
    if ((request.ifr_flags & IFF_LOOPBACK) != 0) {
      kind = LinkKind::kLoopback;
    } else if (ioctl(fd, SIOCGIFHWADDR, &request) == 0) {
      kind = request.ifr_hwaddr.sa_family == ARPHRD_ETHER ? LinkKind::kEthernet : LinkKind::kOther;
    }
  }
  close(fd);
  return kind;
}

CaptureOpenResult Failure(pcap_t* handle, CaptureOpenError error, const std::string& text) {
  if (handle != nullptr) pcap_close(handle);
  CaptureOpenResult result;
  result.error = error;
  result.text = text;
  return result;
}

}  // namespace

CaptureOpenResult OpenDeviceCapture(const std::string& device, CaptureTraffic traffic) {
  // Refused before a capture is ever opened on it: on the loopback interface the capture would
  // read this computer's own traffic, and no device is reached there.
  const LinkKind link = InterfaceLinkKind(device);
  if (link == LinkKind::kLoopback)
    return Failure(nullptr, CaptureOpenError::kLoopback,
                   "a loopback interface, not an Ethernet adapter");
  if (link == LinkKind::kOther)
    return Failure(nullptr, CaptureOpenError::kNotEthernet, "not an Ethernet adapter");
  char errbuf[PCAP_ERRBUF_SIZE] = {};
  pcap_t* handle = pcap_create(device.c_str(), errbuf);
  if (handle == nullptr) return Failure(nullptr, CaptureOpenError::kOther, errbuf);
  pcap_set_snaplen(handle, kCaptureSnapshotBytes);
  // Not promiscuous: every frame the program waits for comes to the adapter's own MAC (a
  // device answers the requester's MAC, and a reply to an ARP probe the probe's sender) or to
  // broadcast. Promiscuous mode would add only frames for other computers that a switch happens
  // to flood to this port, such as another installer's device traffic, and those must not
  // reach the members of the capture group.
  pcap_set_promisc(handle, 0);
  pcap_set_immediate_mode(handle, 1);
  pcap_set_timeout(handle, kCaptureReadTimeoutMs);
  pcap_set_buffer_size(handle, kCaptureBufferBytes);
  const int status = pcap_activate(handle);
  if (status < 0) {
    if (status == PCAP_ERROR_PERM_DENIED)
      return Failure(handle, CaptureOpenError::kNoRights, "no rights to capture");
    if (status == PCAP_ERROR_IFACE_NOT_UP)
      return Failure(handle, CaptureOpenError::kNotUp, "the interface is not up");
    if (status == PCAP_ERROR_NO_SUCH_DEVICE)
      return Failure(handle, CaptureOpenError::kNoSuchDevice, "no such interface");
    std::string text = pcap_geterr(handle);
    if (text.empty()) text = pcap_statustostr(status);
    return Failure(handle, CaptureOpenError::kOther, text);
  }
  if (pcap_datalink(handle) != DLT_EN10MB)
    return Failure(handle, CaptureOpenError::kNotEthernet, "not an Ethernet adapter");
  bpf_program program{};
  if (pcap_compile(handle, &program, CaptureFilterText(traffic), 1, PCAP_NETMASK_UNKNOWN) != 0) {
    const std::string text = std::string("filter: ") + pcap_geterr(handle);
    return Failure(handle, CaptureOpenError::kFilter, text);
  }
  const int set = pcap_setfilter(handle, &program);
  pcap_freecode(&program);
  if (set != 0) {
    const std::string text = std::string("filter: ") + pcap_geterr(handle);
    return Failure(handle, CaptureOpenError::kFilter, text);
  }
  // The capture socket must not live on in a program we start (the successor of a restart, the
  // web server): one more set of captures per restart otherwise.
  const int fd = pcap_get_selectable_fd(handle);
  if (fd >= 0) fcntl(fd, F_SETFD, fcntl(fd, F_GETFD) | FD_CLOEXEC);
  CaptureOpenResult result;
  result.handle = handle;
  return result;
}

bool ReadLibraryCounters(pcap_t* handle, CaptureCounters* counters) {
  pcap_stat stats{};
  if (handle == nullptr || counters == nullptr || pcap_stats(handle, &stats) != 0) return false;
  counters->received = stats.ps_recv;
  counters->dropped = stats.ps_drop;
  counters->interfaceDropped = stats.ps_ifdrop;
  return true;
}
