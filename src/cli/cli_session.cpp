#include "cli/cli_session.h"

#include <iostream>

#include "cli/cli_exit_codes.h"
#include "cli/cli_site.h"
#include "core/control/capture_control.h"
#include "core/control/control.h"
#include "platform/adapters.h"
#include "shell/comm_control.h"
#include "shell/global_utils.h"

CCliSession::~CCliSession() { Close(); }

int CCliSession::Open(const std::string& interfaceName, bool captureArp) {
  if (!interfaceName.empty()) {
    const std::string problem = InterfaceProblem(interfaceName);
    if (!problem.empty()) {
      std::cerr << "ipscanner-cli: no adapter: interface " << interfaceName << " " << problem
                << "\n";
      return kExitNoAdapter;
    }
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
  CaptureFailure failure;
  if (!OpenCapture(interfaceName, captureArp, &failure)) {
    std::cerr << "ipscanner-cli: " << (failure.noRights ? "no capture rights: " : "no adapter: ")
              << CaptureFailureText(failure) << "\n";
    control->Stop();
    return failure.noRights ? kExitNoCaptureRights : kExitNoAdapter;
  }
  if (const std::string problem = AnswerPortProblem(); !problem.empty()) {
    std::cerr << "ipscanner-cli: warning: UDP port 8505 " << problem
              << "; this computer may answer device replies with ICMP port unreachable (the "
                 "command works all the same)\n";
  }
  open_ = true;
  return kExitOk;
}

void CCliSession::Close() {
  if (!open_) return;
  open_ = false;
  StopCapture();
  CControl::GetInstance()->Stop();
}
