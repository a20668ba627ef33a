#include "report/report_csv.h"

#include "core/export/csv_export.h"
#include "report/report_device_columns.h"

std::string FormatReportCsv(const REPORT_T& report) {
  std::string out;
  for (size_t c = 0; c < kReportDeviceColumnCount; ++c) {
    if (c > 0) out += ',';
    out += kReportDeviceColumns[c].key;
  }
  out += "\r\n";
  for (const REPORT_DEVICE_T& d : report.devices) {
    for (size_t c = 0; c < kReportDeviceColumnCount; ++c) {
      if (c > 0) out += ',';
      out += CCsvExport::QuotedCell(ReportDeviceCell(d, c, ReportCellForm::kScripts));
    }
    out += "\r\n";
  }
  return out;
}
