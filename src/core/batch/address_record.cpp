#include "core/batch/address_record.h"

#include <nlohmann/json.hpp>

#include "core/export/csv_export.h"

namespace address_record {
namespace {

struct Column {
  const char* name;
  std::string (*value)(const AssignOutcome&);
};

const Column kColumns[] = {
    {"mac", [](const AssignOutcome& o) { return o.planned.device.mac; }},
    {"room", [](const AssignOutcome& o) { return o.planned.device.deviceId; }},
    {"model", [](const AssignOutcome& o) { return o.planned.device.model; }},
    {"type", [](const AssignOutcome& o) { return o.before.type; }},
    {"ip", [](const AssignOutcome& o) { return o.before.ip; }},
    {"mask", [](const AssignOutcome& o) { return o.before.mask; }},
    {"gateway", [](const AssignOutcome& o) { return o.before.gateway; }},
    {"dns1", [](const AssignOutcome& o) { return o.before.dns1; }},
    {"dns2", [](const AssignOutcome& o) { return o.before.dns2; }},
    {"new_ip", [](const AssignOutcome& o) { return o.planned.ip; }},
    {"new_mask", [](const AssignOutcome& o) { return o.planned.mask; }},
    {"new_gateway", [](const AssignOutcome& o) { return o.planned.gateway; }},
    {"new_dns1", [](const AssignOutcome& o) { return o.planned.dns1; }},
    {"new_dns2", [](const AssignOutcome& o) { return o.planned.dns2; }},
    {"status", [](const AssignOutcome& o) { return std::string(AssignStatusText(o.status)); }},
    {"reason", [](const AssignOutcome& o) { return std::string(AssignFailureText(o.failure)); }},
    {"detail", [](const AssignOutcome& o) { return o.detail; }},
};

}  // namespace

std::string FormatCsv(const std::vector<AssignOutcome>& outcomes) {
  std::string text;
  for (const Column& column : kColumns)
    text += std::string(text.empty() ? "" : ",") + CCsvExport::QuotedCell(column.name);
  text += "\r\n";
  for (const AssignOutcome& outcome : outcomes) {
    bool first = true;
    for (const Column& column : kColumns) {
      text += (first ? "" : ",") + CCsvExport::QuotedCell(column.value(outcome));
      first = false;
    }
    text += "\r\n";
  }
  return text;
}

std::string FormatJson(const std::vector<AssignOutcome>& outcomes) {
  nlohmann::json rows = nlohmann::json::array();
  for (const AssignOutcome& outcome : outcomes) {
    nlohmann::json row = nlohmann::json::object();
    for (const Column& column : kColumns) row[column.name] = column.value(outcome);
    nlohmann::json conflicts = nlohmann::json::array();
    for (const PlanConflict& c : outcome.planned.conflicts)
      conflicts.push_back({{"kind", ConflictKindCode(c.kind)}, {"detail", c.detail}});
    row["conflicts"] = conflicts;
    rows.push_back(row);
  }
  // ASCII only, invalid UTF-8 replaced: a device's text cannot break the file or a terminal.
  return rows.dump(2, ' ', true, nlohmann::json::error_handler_t::replace) + "\n";
}

}  // namespace address_record
