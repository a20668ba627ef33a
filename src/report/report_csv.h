#pragma once

#include <string>

#include "report/report_model.h"

// The report's device table as CSV for scripts: the fixed English header
//   room,ip,mac,model,firmware,mode,mask,gateway,status,last_seen
// whatever the program's language; status is "answered" or "no_answer"; last_seen is ISO 8601
// in UTC. Cells follow the list export's rules (quoted, formula-safe, control characters
// dropped); CR LF line ends.
std::string FormatReportCsv(const REPORT_T& report);
