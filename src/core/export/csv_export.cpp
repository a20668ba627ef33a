#include "core/export/csv_export.h"

#include <cctype>
#include <cstdio>

namespace {

// A spreadsheet takes a cell that begins with one of these for a formula (=HYPERLINK(...),
// +cmd|..., -1+1, @SUM(...)); device texts must never run as one. Spreadsheets also skip a
// leading tab or carriage return before they look, so those do not hide a formula either.
bool StartsLikeFormula(const std::string& value) {
  const size_t first = value.find_first_not_of("\t\r");
  if (first == std::string::npos) return false;
  const char c = value[first];
  return c == '=' || c == '+' || c == '-' || c == '@';
}

// Control characters other than tab have no place in a cell and can split or hide a row.
bool IsDroppedControl(char ch) {
  const auto c = static_cast<unsigned char>(ch);
  return (c < 0x20 && c != '\t') || c == 0x7F;
}

// A quoted CSV field: control characters other than tab dropped, a leading formula character
// guarded by a single quote, inner double quotes doubled. Any other text stays byte for byte.
void AppendQuoted(std::string& line, const std::string& value) {
  std::string cell;
  cell.reserve(value.size());
  for (char c : value) {
    if (!IsDroppedControl(c)) cell += c;
  }
  line += '"';
  if (StartsLikeFormula(cell)) line += '\'';
  for (char c : cell) {
    if (c == '"') line += '"';
    line += c;
  }
  line += '"';
}

// The header's first field is written bare; it is quoted (and guarded) only when a catalog text
// would otherwise break the line (comma, quote or line break) or read as a formula.
void AppendBare(std::string& line, const std::string& value) {
  if (value.find_first_of(",\"\r\n") == std::string::npos && !StartsLikeFormula(value)) {
    line += value;
  } else {
    AppendQuoted(line, value);
  }
}

}  // namespace

std::string CCsvExport::QuotedCell(const std::string& value) {
  std::string cell;
  AppendQuoted(cell, value);
  return cell;
}

std::string CCsvExport::FormatHeader(const CsvHeaderTexts& texts) {
  std::string line;
  AppendBare(line, texts.index);
  for (const std::string* text :
       {&texts.ip, &texts.mac, &texts.model, &texts.room, &texts.firmware}) {
    line += ',';
    AppendQuoted(line, *text);
  }
  line += "\r\n";
  return line;
}

std::string CCsvExport::FormatRow(int number, const DEVICE_ENTRY_T& entry) {
  std::string line = std::to_string(number);
  for (const std::string* text :
       {&entry.ip, &entry.mac, &entry.model, &entry.deviceId, &entry.firmware}) {
    line += ',';
    AppendQuoted(line, *text);
  }
  line += "\r\n";
  return line;
}

std::string CCsvExport::FormatFile(const std::vector<const DEVICE_ENTRY_T*>& rows,
                                   const CsvHeaderTexts& texts) {
  std::string bytes = FormatHeader(texts);
  for (size_t i = 0; i < rows.size(); ++i) {
    if (rows[i] != nullptr) bytes += FormatRow(static_cast<int>(i) + 1, *rows[i]);
  }
  return bytes;
}

std::string CCsvExport::FormatFile(const std::vector<DEVICE_ENTRY_T>& rows,
                                   const CsvHeaderTexts& texts) {
  std::vector<const DEVICE_ENTRY_T*> pointers;
  pointers.reserve(rows.size());
  for (const DEVICE_ENTRY_T& row : rows) pointers.push_back(&row);
  return FormatFile(pointers, texts);
}

bool CCsvExport::WriteFile(const std::string& path, const std::string& bytes) {
  FILE* file = std::fopen(path.c_str(), "wbe");
  if (file == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool closed = std::fclose(file) == 0;
  return written && closed;
}

std::string CCsvExport::ExportPath(const std::string& chosen) {
  std::string tail = chosen.size() >= 4 ? chosen.substr(chosen.size() - 4) : chosen;
  for (char& c : tail) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return tail == ".CSV" ? chosen : chosen + ".csv";
}
