#include "cli/cli_site.h"

#include <iostream>
#include <memory>

#include "cli/cli_exit_codes.h"
#include "core/control/control.h"
#include "record/site_database.h"
#include "record/site_operation_log.h"
#include "record/site_operation_results.h"
#include "record/site_paths.h"
#include "record/site_recorder.h"

namespace {

std::string g_siteName;
std::unique_ptr<CSiteRecorder> g_recorder;

std::string ExitCodeDetail(int code) {
  switch (code) {
    case kExitOk:
      return "";
    case kExitDeviceNotFound:
      return "device not found";
    case kExitAuthFailed:
      return "authentication failed";
    case kExitNoAck:
      return "no acknowledge";
    case kExitAckNotOk:
      return "acknowledge not OK";
    case kExitNoAnswer:
      return "no answer";
    case kExitBadInput:
      return "request could not be built";
    default:
      return "exit code " + std::to_string(code);
  }
}

}  // namespace

bool SetCliSiteName(const std::string& name) {
  if (!IsValidSiteName(name)) return false;
  g_siteName = name;
  return true;
}

std::string CliSiteName() { return g_siteName.empty() ? ReadSiteSetting() : g_siteName; }

void OpenCliSiteRecord() {
  if (g_recorder) return;
  std::string notice;
  auto db = CSiteDatabase::OpenForWriting(SiteDatabasePath(CliSiteName()), &notice);
  if (!notice.empty()) std::cerr << "ipscanner-cli: " << notice << "\n";
  g_recorder = std::make_unique<CSiteRecorder>(std::move(db), "cli");
  g_recorder->SetNoticeSink(
      [](const std::string& text) { std::cerr << "ipscanner-cli: " << text << "\n"; });
  g_recorder->Start();
  CControl::GetInstance()->AddNotify(g_recorder.get());
  AddDeviceAnswerListener(g_recorder.get());
  SetOperationRecorder(g_recorder.get());
}

CSiteRecorder* CliSiteRecorder() { return g_recorder.get(); }

void CloseCliSiteRecord() {
  if (!g_recorder) return;
  SetOperationRecorder(nullptr);
  RemoveDeviceAnswerListener(g_recorder.get());
  CControl::GetInstance()->RemoveNotify(g_recorder.get());
  g_recorder->Stop();
  g_recorder.reset();
}

int CCliDeviceOperation::End(int exitCode, const std::string& detail) {
  RecordSiteOperation(DeviceOperation(m_kind, m_mac, exitCode == kExitOk,
                                      detail.empty() ? ExitCodeDetail(exitCode) : detail, "cli",
                                      m_parameters));
  return exitCode;
}
