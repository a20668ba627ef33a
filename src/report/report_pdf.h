#pragma once

#include <functional>
#include <string>

#include "report/report_model.h"

// Maps an English text (a catalog key) to the shown text; identity on the command line.
using ReportTranslator = std::function<std::string(const std::string&)>;

// Writes the commissioning report as a PDF (A4 landscape) through cairo:
//   1. cover: site, date, computer, adapter and subnet, device count, period, program version;
//   2. summary: devices per model, DHCP and static counts, the open problems, and a chart of
//      the firmware versions per model;
//   3. the device table sorted by room, its header repeated on every page;
//   4. the operations of the period, one line per device result.
// Every page carries "Page N of M" and the program's version. Texts from devices are cut to
// their column and stripped of control characters. False with the reason in *error when the file
// cannot be written completely.
bool WriteReportPdf(const REPORT_T& report, const std::string& path, std::string* error,
                    const ReportTranslator& tr = {});

// A device text made safe for the PDF: valid UTF-8 (a broken sequence becomes U+FFFD), control
// characters replaced by '?', at most maxBytes bytes (cut at a character boundary).
std::string ReportSafeText(const std::string& text, size_t maxBytes = 256);
