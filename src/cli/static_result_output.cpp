#include "cli/static_result_output.h"

#include <algorithm>
#include <array>
#include <nlohmann/json.hpp>

#include "shell/terminal_text.h"

namespace {

size_t Columns(const std::string& text) {
  return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

std::string StatusWithReason(const BatchStaticRow& row) {
  std::string status = BatchStatusText(row.status);
  const std::string reason = BatchFailureText(row.failure);
  if (!reason.empty()) status += " (" + reason + ")";
  return status;
}

}  // namespace

std::string CStaticResultOutput::FormatLine(const BatchStaticRow& row) {
  return StatusWithReason(row) + "  " + TerminalSafe(row.device.ip) + "  " +
         TerminalSafe(row.device.mac) + "  " + TerminalSafe(row.device.model) + "\n";
}

std::string CStaticResultOutput::FormatTable(const std::vector<BatchStaticRow>& rows) {
  std::vector<std::array<std::string, 4>> cells;
  cells.push_back({"IP Address", "MAC Address", "Model", "Status"});
  for (const BatchStaticRow& row : rows) {
    cells.push_back({TerminalSafe(row.device.ip), TerminalSafe(row.device.mac),
                     TerminalSafe(row.device.model), StatusWithReason(row)});
  }
  std::array<size_t, 4> widths{};
  for (const auto& line : cells) {
    for (size_t c = 0; c < line.size(); ++c) widths[c] = std::max(widths[c], Columns(line[c]));
  }
  std::string out;
  for (const auto& line : cells) {
    for (size_t c = 0; c < line.size(); ++c) {
      out += line[c];
      if (c + 1 < line.size()) out.append(widths[c] - Columns(line[c]) + 2, ' ');
    }
    out += "\n";
  }
  return out;
}

std::string CStaticResultOutput::FormatJson(const std::vector<BatchStaticRow>& rows) {
  nlohmann::json array = nlohmann::json::array();
  for (const BatchStaticRow& row : rows) {
    array.push_back({{"ip", row.device.ip},
                     {"mac", row.device.mac},
                     {"model", row.device.model},
                     {"status", BatchStatusText(row.status)},
                     {"reason", BatchFailureText(row.failure)},
                     // Sends on a lossy segment: configuration requests and updates.
                     {"tries", {{"request", row.requestTries}, {"update", row.updateTries}}}});
  }
  return array.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}
