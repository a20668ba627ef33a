#include "core/batch/plan_file.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <map>

#include "core/common/mac_text.h"
#include "transport/udp_frame.h"

namespace {

std::string Trim(const std::string& text) {
  size_t first = 0;
  size_t last = text.size();
  while (first < last && std::isspace(static_cast<unsigned char>(text[first]))) ++first;
  while (last > first && std::isspace(static_cast<unsigned char>(text[last - 1]))) --last;
  return text.substr(first, last - first);
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool IsAddress(const std::string& text) {
  uint32_t ip = 0;
  return ParseIpv4(text.c_str(), &ip);
}

bool IsMask(const std::string& text) {
  uint32_t mask = 0;
  if (!ParseIpv4(text.c_str(), &mask)) return false;
  const uint32_t hostBits = ~mask;
  return mask != 0 && (hostBits & (hostBits + 1)) == 0;  // ones, then only zeros
}

std::string LineError(int line, const std::string& text) {
  return "line " + std::to_string(line) + ": " + text;
}

}  // namespace

bool SplitCsvLine(const std::string& line, std::vector<std::string>* cells) {
  cells->clear();
  std::string cell;
  bool quoted = false;
  bool wasQuoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        cell += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        cell += c;
      }
    } else if (c == '"' && Trim(cell).empty()) {
      quoted = wasQuoted = true;
      cell.clear();
    } else if (c == ',') {
      cells->push_back(wasQuoted ? cell : Trim(cell));
      cell.clear();
      wasQuoted = false;
    } else if (!wasQuoted) {
      cell += c;
    }
  }
  if (quoted) return false;
  cells->push_back(wasQuoted ? cell : Trim(cell));
  // A spreadsheet guard (a leading ' before =, +, - or @) is not part of the value.
  for (std::string& value : *cells) {
    if (value.size() > 1 && value[0] == '\'' &&
        std::string("=+-@").find(value[1]) != std::string::npos)
      value.erase(0, 1);
  }
  return true;
}

PlanFile ParsePlanFile(const std::string& text) {
  PlanFile file;
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  if (!lines.empty() && lines[0].rfind("\xEF\xBB\xBF", 0) == 0) lines[0].erase(0, 3);

  size_t headerIndex = 0;
  while (headerIndex < lines.size() && Trim(lines[headerIndex]).empty()) ++headerIndex;
  std::vector<std::string> header;
  if (headerIndex == lines.size() || !SplitCsvLine(lines[headerIndex], &header)) {
    file.errors.push_back(LineError(static_cast<int>(headerIndex + 1),
                                    "no header row (ip and mac or room are needed)"));
    return file;
  }
  std::map<std::string, size_t> column;
  for (size_t i = 0; i < header.size(); ++i) column.emplace(Lower(Trim(header[i])), i);
  const bool hasIp = column.count("ip") != 0;
  const bool hasName = column.count("mac") != 0 || column.count("room") != 0;
  if (!hasIp || !hasName) {
    file.errors.push_back(LineError(static_cast<int>(headerIndex + 1),
                                    "the header needs an ip column and a mac or room column"));
    return file;
  }

  std::vector<std::string> cells;
  for (size_t i = headerIndex + 1; i < lines.size(); ++i) {
    const int line = static_cast<int>(i + 1);
    if (Trim(lines[i]).empty()) continue;
    if (file.rows.size() >= kMaxPlanRows) {
      file.errors.push_back(LineError(line, "more than " + std::to_string(kMaxPlanRows) + " rows"));
      break;
    }
    if (!SplitCsvLine(lines[i], &cells)) {
      file.errors.push_back(LineError(line, "a quote is not closed"));
      continue;
    }
    auto cell = [&](const char* name) {
      const auto it = column.find(name);
      return it == column.end() || it->second >= cells.size() ? std::string() : cells[it->second];
    };
    PlanFileRow row;
    row.line = line;
    const std::string mac = cell("mac");
    row.room = cell("room");
    row.ip = cell("ip");
    row.mask = cell("mask");
    row.gateway = cell("gateway");
    row.dns1 = cell("dns1");
    row.dns2 = cell("dns2");
    std::vector<std::string> wrong;
    if (!mac.empty()) {
      if (IsMacText(mac))
        row.mac = CompactMacText(mac);
      else
        wrong.push_back("mac \"" + mac + "\" is not a MAC address");
    } else if (row.room.empty()) {
      wrong.push_back("neither mac nor room names a device");
    }
    if (row.ip.empty())
      wrong.push_back("ip is empty");
    else if (!IsAddress(row.ip))
      wrong.push_back("ip \"" + row.ip + "\" is not an IPv4 address");
    if (!row.mask.empty() && !IsMask(row.mask))
      wrong.push_back("mask \"" + row.mask + "\" is not a subnet mask");
    const std::pair<const char*, const std::string*> addresses[] = {
        {"gateway", &row.gateway}, {"dns1", &row.dns1}, {"dns2", &row.dns2}};
    for (const auto& [name, value] : addresses) {
      if (!value->empty() && !IsAddress(*value))
        wrong.push_back(std::string(name) + " \"" + *value + "\" is not an IPv4 address");
    }
    if (!wrong.empty()) {
      std::string joined;
      for (const std::string& w : wrong) joined += (joined.empty() ? "" : "; ") + w;
      file.errors.push_back(LineError(line, joined));
      continue;
    }
    file.rows.push_back(std::move(row));
  }
  return file;
}
