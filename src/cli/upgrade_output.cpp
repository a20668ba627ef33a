#include "cli/upgrade_output.h"

#include <array>
#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>

namespace {

// Control characters (C0, DEL) become \xNN so a device's text cannot steer the terminal.
std::string Printable(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F) {
      char escaped[5];
      std::snprintf(escaped, sizeof(escaped), "\\x%02X", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string Seconds(const RolloutEntry& e) {
  if (e.result == RolloutEntry::Result::kSkipped || e.result == RolloutEntry::Result::kWaiting)
    return "-";
  char text[32];
  std::snprintf(text, sizeof(text), "%.1f", static_cast<double>(e.elapsed.count()) / 1000.0);
  return text;
}

// Columns a UTF-8 text takes (continuation bytes do not count).
size_t Columns(const std::string& text) {
  size_t n = 0;
  for (unsigned char c : text) n += (c & 0xC0) != 0x80;
  return n;
}

}  // namespace

std::string CUpgradeOutput::ResultText(const RolloutEntry& e) {
  std::string text = RolloutResultName(e.result);
  if (!e.reason.empty()) text += ": " + Printable(e.reason);
  return text;
}

std::string CUpgradeOutput::SkippedLines(const std::vector<DEVICE_ENTRY_T>& skipped) {
  if (skipped.empty()) return {};
  std::string out = "Skipped (another firmware family):\n";
  for (const DEVICE_ENTRY_T& d : skipped) {
    out += "  " + Printable(d.mac) + "  " + Printable(d.ip) + "  " +
           Printable(d.model.empty() ? "-" : d.model) + "  firmware " +
           (d.firmware.empty() ? std::string("unknown") : Printable(d.firmware)) + "\n";
  }
  return out;
}

std::string CUpgradeOutput::StatusLine(const RolloutEntry& e) {
  std::string line = Printable(e.device.mac) + "  " + Printable(e.device.ip) + "  " + ResultText(e);
  if (e.Final() && e.result != RolloutEntry::Result::kSkipped)
    line += "  " + Printable(e.newVersion) + "  " + Seconds(e) + " s";
  return line;
}

std::string CUpgradeOutput::SummaryLine(const std::vector<RolloutEntry>& entries) {
  std::map<RolloutEntry::Result, size_t> counts;
  for (const RolloutEntry& e : entries) ++counts[e.result];
  std::string line;
  for (const auto& [result, count] : counts) {
    if (!line.empty()) line += ", ";
    line += std::to_string(count) + " " + RolloutResultName(result);
  }
  return line + " (" + std::to_string(entries.size()) + " devices)";
}

std::string CUpgradeOutput::FormatTable(const std::vector<RolloutEntry>& entries) {
  std::vector<std::array<std::string, 6>> rows;
  rows.push_back({"Device", "IP Address", "Old Version", "New Version", "Result", "Time (s)"});
  for (const RolloutEntry& e : entries) {
    rows.push_back({Printable(e.device.mac), Printable(e.device.ip), Printable(e.oldVersion),
                    Printable(e.newVersion), ResultText(e), Seconds(e)});
  }
  std::array<size_t, 6> widths{};
  for (const auto& row : rows)
    for (size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], Columns(row[c]));
  std::string out;
  for (const auto& row : rows) {
    for (size_t c = 0; c < row.size(); ++c) {
      out += row[c];
      if (c + 1 < row.size()) out.append(widths[c] - Columns(row[c]) + 2, ' ');
    }
    out += "\n";
  }
  return out;
}

std::string CUpgradeOutput::FormatJson(const std::string& image, const std::string& version,
                                       const std::vector<RolloutEntry>& entries,
                                       const std::vector<DEVICE_ENTRY_T>& skippedIncompatible) {
  nlohmann::json devices = nlohmann::json::array();
  size_t onNewVersion = 0;
  for (const RolloutEntry& e : entries) {
    onNewVersion += e.OnNewVersion();
    devices.push_back(
        {{"mac", e.device.mac},
         {"ip", e.device.ip},
         {"model", e.device.model},
         {"old_version", e.oldVersion},
         {"new_version", e.newVersion},
         {"result", RolloutResultName(e.result)},
         {"tries", e.tries},  // upgrade requests sent
         {"reason", e.reason.empty() ? nlohmann::json(nullptr) : nlohmann::json(e.reason)},
         {"seconds", e.result == RolloutEntry::Result::kSkipped
                         ? nlohmann::json(nullptr)
                         : nlohmann::json(e.elapsed.count() / 1000.0)}});
  }
  nlohmann::json skipped = nlohmann::json::array();
  for (const DEVICE_ENTRY_T& d : skippedIncompatible) {
    skipped.push_back(
        {{"mac", d.mac},
         {"ip", d.ip},
         {"model", d.model},
         {"firmware", d.firmware},
         {"reason", d.firmware.empty() ? "unknown firmware family" : "another firmware family"}});
  }
  nlohmann::json doc = {{"image", image},
                        {"version", version},
                        {"devices", devices},
                        {"skipped", skipped},
                        {"on_new_version", onNewVersion},
                        {"total", entries.size()}};
  // Malformed UTF-8 from a device becomes U+FFFD instead of ending the program.
  return doc.dump(1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}
