#include "transport/capture_open.h"

#include <fcntl.h>
#include <pcap/pcap.h>

const char* CaptureFilterText(CaptureTraffic traffic) {
  return traffic == CaptureTraffic::kDeviceProtocolAndArp ? "port 8500 or arp" : "port 8500";
}

namespace {

CaptureOpenResult Failure(pcap_t* handle, CaptureOpenError error, const std::string& text) {
  if (handle != nullptr) pcap_close(handle);
  CaptureOpenResult result;
  result.error = error;
  result.text = text;
  return result;
}

}  // namespace

CaptureOpenResult OpenDeviceCapture(const std::string& device, CaptureTraffic traffic) {
  char errbuf[PCAP_ERRBUF_SIZE] = {};
  pcap_t* handle = pcap_create(device.c_str(), errbuf);
  if (handle == nullptr) return Failure(nullptr, CaptureOpenError::kOther, errbuf);
  pcap_set_snaplen(handle, kCaptureSnapshotBytes);
  pcap_set_promisc(handle, 1);
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
