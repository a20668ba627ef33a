#pragma once

#include <string>
#include <vector>

#include "core/batch/address_assign_run.h"

// The result record of an assignment: one row a device with its settings before (`ip`, `mask`,
// `gateway`, `dns1`, `dns2`, `type`) and after (`new_ip` ... `new_dns2`), its status and reason.
// The before columns carry the plan file's names, so the record given back as a plan file
// (`mac` names the device) restores the old addresses.
namespace address_record {

// UTF-8 CSV, CR LF line ends, every cell quoted (CCsvExport::QuotedCell).
std::string FormatCsv(const std::vector<AssignOutcome>& outcomes);
// A JSON array of objects with the same keys (and `conflicts` of the plan), ASCII only.
std::string FormatJson(const std::vector<AssignOutcome>& outcomes);

}  // namespace address_record
