#include "report/report_csv.h"

#include "core/export/csv_export.h"

std::string FormatReportCsv(const REPORT_T& report) {
  std::string out = "room,ip,mac,model,firmware,mode,mask,gateway,status,last_seen\r\n";
  for (const REPORT_DEVICE_T& d : report.devices) {
    const std::string cells[] = {d.room,
                                 d.ip,
                                 d.mac,
                                 d.model,
                                 d.firmware,
                                 d.mode,
                                 d.mask,
                                 d.gateway,
                                 d.answered ? "answered" : "no_answer",
                                 ReportIsoTime(d.lastSeen)};
    bool first = true;
    for (const std::string& cell : cells) {
      if (!first) out += ',';
      out += CCsvExport::QuotedCell(cell);
      first = false;
    }
    out += "\r\n";
  }
  return out;
}
