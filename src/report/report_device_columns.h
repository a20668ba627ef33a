#pragma once

#include <cstddef>
#include <string>

#include "report/report_model.h"

// The report's device table, column by column, once for both of its forms: the PDF shows it to
// people (titles in the report's language, times in local words) and the CSV hands it to
// scripts (fixed English keys, ISO times). A column added or moved here is added or moved in
// both.
struct REPORT_DEVICE_COLUMN_T {
  const char* key;    // the CSV header's key
  const char* title;  // the PDF's column title (English; the catalog translates it)
  double width;       // the PDF's column width in points
};

inline constexpr size_t kReportDeviceColumnCount = 10;
extern const REPORT_DEVICE_COLUMN_T kReportDeviceColumns[kReportDeviceColumnCount];

enum class ReportCellForm {
  kScripts,  // the CSV: "answered" / "no_answer", ISO 8601 times in UTC
  kPeople,   // the PDF: "answered" / "no answer" (English; the catalog translates), local time
};

// The cell of `column` for one device.
std::string ReportDeviceCell(const REPORT_DEVICE_T& device, size_t column, ReportCellForm form);
