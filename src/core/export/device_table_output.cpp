#include "core/export/device_table_output.h"

#include <algorithm>
#include <array>
#include <nlohmann/json.hpp>

#include "shell/terminal_text.h"

namespace {

// Display width of a UTF-8 text: one column per code point (continuation bytes do not count).
size_t Columns(const std::string& text) {
  return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

}  // namespace

std::string CDeviceTableOutput::FormatTable(const std::vector<DEVICE_ENTRY_T>& devices) {
  std::vector<std::array<std::string, 6>> rows;
  rows.push_back(
      {"Index", "IP Address", "MAC Address", "Model", "Room Number", "Firmware Version"});
  for (size_t i = 0; i < devices.size(); ++i) {
    const DEVICE_ENTRY_T& d = devices[i];
    // Every text here came from a device: escaped, so it can neither steer the terminal nor
    // break the columns.
    rows.push_back({std::to_string(i + 1), TerminalSafe(d.ip), TerminalSafe(d.mac),
                    TerminalSafe(d.model), TerminalSafe(d.deviceId), TerminalSafe(d.firmware)});
  }
  std::array<size_t, 6> widths{};
  for (const auto& row : rows) {
    for (size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], Columns(row[c]));
  }
  std::string out;
  for (const auto& row : rows) {
    std::string line;
    for (size_t c = 0; c < row.size(); ++c) {
      line += row[c];
      if (c + 1 < row.size()) line.append(widths[c] - Columns(row[c]) + 2, ' ');
    }
    out += line + "\n";
  }
  return out;
}

nlohmann::json CDeviceTableOutput::DeviceJson(const DEVICE_ENTRY_T& d) {
  return {{"ip", d.ip},       {"mac", d.mac},       {"work_mac", d.workMac},
          {"model", d.model}, {"room", d.deviceId}, {"firmware", d.firmware}};
}

std::string CDeviceTableOutput::FormatJson(const std::vector<DEVICE_ENTRY_T>& devices,
                                           const ExtraFields& extraFields) {
  nlohmann::json array = nlohmann::json::array();
  for (const DEVICE_ENTRY_T& d : devices) {
    nlohmann::json object = DeviceJson(d);
    if (extraFields) extraFields(d, object);
    array.push_back(std::move(object));
  }
  // Invalid UTF-8 from a device is replaced rather than aborting the output.
  return array.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}
