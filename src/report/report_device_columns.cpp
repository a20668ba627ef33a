#include "report/report_device_columns.h"

// Ten columns over the PDF page's 770 points.
const REPORT_DEVICE_COLUMN_T kReportDeviceColumns[kReportDeviceColumnCount] = {
    {"room", "Room", 64},         {"ip", "IP", 76},
    {"mac", "MAC", 98},           {"model", "Model", 128},
    {"firmware", "Firmware", 72}, {"mode", "Mode", 40},
    {"mask", "Mask", 76},         {"gateway", "Gateway", 76},
    {"status", "Status", 50},     {"last_seen", "Last seen", 80}};

std::string ReportDeviceCell(const REPORT_DEVICE_T& d, size_t column, ReportCellForm form) {
  const bool scripts = form == ReportCellForm::kScripts;
  switch (column) {
    case 0:
      return d.room;
    case 1:
      return d.ip;
    case 2:
      return d.mac;
    case 3:
      return d.model;
    case 4:
      return d.firmware;
    case 5:
      return d.mode;
    case 6:
      return d.mask;
    case 7:
      return d.gateway;
    case 8:
      return d.answered ? "answered" : (scripts ? "no_answer" : "no answer");
    case 9:
      return scripts ? ReportIsoTime(d.lastSeen) : ReportTimeText(d.lastSeen);
    default:
      return std::string();
  }
}
