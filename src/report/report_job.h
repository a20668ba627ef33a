#pragma once

#include <map>
#include <string>
#include <vector>

#include "core/common/device_entry.h"
#include "report/report_builder.h"
#include "report/report_model.h"
#include "report/report_pdf.h"

// The commissioning report as both front ends write it, once the devices were discovered and
// their settings read (CSettingsSurvey): the report is built from the site record with the
// answers put in, or from the table alone when the record cannot be read, and written as a PDF
// (and the device table as CSV when a path is given). Qt-free, no waiting: the window runs it
// off its UI thread, the command line on its own.

struct REPORT_JOB_RESULT_T {
  bool written = false;
  std::string error;    // why the PDF (or the CSV) was not written
  std::string warning;  // the record could not be read: the report lists the table alone
  REPORT_T report;
};

REPORT_JOB_RESULT_T WriteCommissioningReport(const std::string& dbPath, const REPORT_PLACE_T& place,
                                             const std::vector<DEVICE_ENTRY_T>& table,
                                             const std::map<std::string, REPORT_LIVE_T>& live,
                                             const std::string& pdfPath,
                                             const std::string& csvPath = "",
                                             const ReportTranslator& tr = {});

// The capture adapter's networks for the cover: "10.1.0.5/16, 192.168.1.2/24".
std::string CaptureSubnetsText();

// Devices of the report that did not answer the settings request.
size_t SilentDevices(const REPORT_T& report);
