#include "cli/cli_session.h"

#include <arpa/inet.h>
#include <linux/if_ether.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>

#include "cli/cli_exit_codes.h"
#include "cli/cli_site.h"
#include "core/control.h"
#include "platform/adapters.h"
#include "shell/comm_control.h"
#include "shell/global_utils.h"
#include "transport/mac_proto_control.h"

namespace {

// True when this process may open raw packet sockets, which capture and injection need.
bool HasCaptureRights() {
  const int fd = socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, htons(ETH_P_ALL));
  if (fd >= 0) {
    close(fd);
    return true;
  }
  return errno != EPERM && errno != EACCES;
}

}  // namespace

CCliSession::~CCliSession() { Close(); }

int CCliSession::Open(const std::string& interfaceName) {
  if (!interfaceName.empty()) {
    const std::string problem = InterfaceProblem(interfaceName);
    if (!problem.empty()) {
      std::cerr << "ipscanner-cli: no adapter: interface " << interfaceName << " " << problem
                << "\n";
      return kExitNoAdapter;
    }
  }
  if (!HasCaptureRights()) {
    std::cerr << "ipscanner-cli: no capture rights: run as root or grant the executable "
                 "cap_net_raw,cap_net_admin (scripts/setup.sh does)\n";
    return kExitNoCaptureRights;
  }
  // The log channel is a diagnostic aid here: when no port of its range can be bound, the
  // command goes on without log lines instead of ending the process as the window does.
  if (CCommControl::GetInstance()->Channel().TryOpen() != 0) {
    std::cerr << "ipscanner-cli: log channel unavailable, continuing without log lines\n";
  }
  std::string catalogProblem;
  if (!CGlobalUtils::CheckModelCatalog(&catalogProblem)) {
    std::cerr << "ipscanner-cli: warning: model catalog config/ModelName.ini " << catalogProblem
              << "; devices that report no model are listed without one\n";
  }
  OpenCliSiteRecord();  // before the threads: no answer goes unrecorded
  CControl* control = CControl::GetInstance();
  control->StartThreads();
  MacProtoInitOptions options;
  options.interfaceName = interfaceName;
  std::string error;
  if (CMacProtoControl::GetInstance()->Init(options, &error) != 0) {
    const bool rights = HasCaptureRights();
    std::cerr << "ipscanner-cli: " << (rights ? "no adapter: " : "no capture rights: ") << error
              << "\n";
    control->Stop();
    return rights ? kExitNoAdapter : kExitNoCaptureRights;
  }
  open_ = true;
  return kExitOk;
}

void CCliSession::Close() {
  if (!open_) return;
  open_ = false;
  CMacProtoControl::GetInstance()->Stop();
  CControl::GetInstance()->Stop();
}
