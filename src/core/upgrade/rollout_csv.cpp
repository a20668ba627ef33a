#include "core/upgrade/rollout_csv.h"

#include "core/export/csv_export.h"

std::string FormatRolloutCsv(const std::vector<RolloutEntry>& entries,
                             const RolloutCsvHeader& header,
                             const std::vector<std::string>& resultTexts) {
  std::string out;
  for (size_t i = 0; i < header.columns.size(); ++i)
    out += (i ? "," : "") + CCsvExport::QuotedCell(header.columns[i]);
  out += "\r\n";
  for (const RolloutEntry& e : entries) {
    const size_t result = static_cast<size_t>(e.result);
    const std::string resultText =
        result < resultTexts.size() ? resultTexts[result] : RolloutResultName(e.result);
    const long long seconds = (e.elapsed.count() + 500) / 1000;
    for (const std::string* cell : {&e.device.mac, &e.device.ip, &e.device.model,
                                    &e.device.deviceId, &e.oldVersion, &e.newVersion})
      out += CCsvExport::QuotedCell(*cell) + ",";
    out += CCsvExport::QuotedCell(resultText) + "," + std::to_string(seconds) + "\r\n";
  }
  return out;
}
