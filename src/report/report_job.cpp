#include "report/report_job.h"

#include <chrono>

#include "core/control/capture_subnets.h"
#include "core/export/csv_export.h"
#include "core/site/site_problems.h"
#include "platform/file_version.h"
#include "record/site_operation.h"
#include "report/report_csv.h"

namespace {

// Nothing recorded (the record could not be read): the report still lists the table.
REPORT_T TableOnlyReport(const REPORT_PLACE_T& place, const std::vector<DEVICE_ENTRY_T>& table,
                         const std::map<std::string, REPORT_LIVE_T>& live) {
  REPORT_T report;
  report.site = place.site;
  report.adapter = place.adapter;
  report.subnet = place.subnet;
  report.since = place.since;
  std::vector<SITE_DEVICE_ROW_T> rows;
  for (const DEVICE_ENTRY_T& d : table)
    rows.push_back({SiteMacText(d.mac), 0, 0, d.ip, d.model, d.deviceId, d.firmware, "", "", ""});
  report.devices = ReportDevices(rows, live);
  report.version = GetCompiledVersionText();
  report.created = std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                       .count();
  return report;
}

}  // namespace

REPORT_JOB_RESULT_T WriteCommissioningReport(const std::string& dbPath, const REPORT_PLACE_T& place,
                                             const std::vector<DEVICE_ENTRY_T>& table,
                                             const std::map<std::string, REPORT_LIVE_T>& live,
                                             const std::string& pdfPath, const std::string& csvPath,
                                             const ReportTranslator& tr) {
  REPORT_JOB_RESULT_T result;
  std::string error;
  if (!BuildReport(dbPath, place, table, live, &result.report, &error)) {
    result.warning = error + "; the report lists the devices found now";
    result.report = TableOnlyReport(place, table, live);
  }
  if (!WriteReportPdf(result.report, pdfPath, &result.error, tr)) return result;
  if (!csvPath.empty() && !CCsvExport::WriteFile(csvPath, FormatReportCsv(result.report))) {
    result.error = "cannot write " + csvPath;
    return result;
  }
  result.written = true;
  return result;
}

std::string CaptureSubnetsText() {
  std::string text;
  for (const IPV4_SUBNET_T& subnet : CaptureSubnets())
    text += (text.empty() ? "" : ", ") + CSiteProblems::SubnetText(subnet);
  return text;
}

size_t SilentDevices(const REPORT_T& report) {
  size_t silent = 0;
  for (const REPORT_DEVICE_T& d : report.devices) silent += d.answered ? 0 : 1;
  return silent;
}
