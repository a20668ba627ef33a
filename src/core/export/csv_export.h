#pragma once

#include <string>
#include <vector>

#include "core/common/device_entry.h"

// The device list export: UTF-8 without a byte-order mark, CR LF line ends, a header line whose
// first field is bare and the other five quoted, then one line per row numbered from 1.
// The header texts are parameters because the window takes them from its language catalog;
// the defaults are the English texts.
struct CsvHeaderTexts {
  std::string index = "Index";
  std::string ip = "IP Address";
  std::string mac = "MAC Address";
  std::string model = "Model";
  std::string room = "Room Number";
  std::string firmware = "Firmware Version";
};

class CCsvExport {
public:
  // Index,"IP Address","MAC Address","Model","Room Number","Firmware Version"\r\n
  static std::string FormatHeader(const CsvHeaderTexts& texts = CsvHeaderTexts());
  // 1,"192.168.1.10","02:1A:2B:3C:4D:5E","Model","1-1-1","29.30.1.2"\r\n (the work MAC is not
  // written). A double quote inside a value is doubled so the file reads back unchanged.
  // Device texts are not trusted: control characters other than tab are dropped, and a value
  // that begins with '=', '+', '-' or '@' gets a leading single quote so that a spreadsheet
  // shows it as text instead of running it as a formula.
  static std::string FormatRow(int number, const DEVICE_ENTRY_T& entry);
  // One quoted cell by the rules above, for writers that add columns.
  static std::string QuotedCell(const std::string& value);
  // The whole file. A null row writes nothing but still counts for the numbering (a list
  // element without a row in the window).
  static std::string FormatFile(const std::vector<const DEVICE_ENTRY_T*>& rows,
                                const CsvHeaderTexts& texts = CsvHeaderTexts());
  static std::string FormatFile(const std::vector<DEVICE_ENTRY_T>& rows,
                                const CsvHeaderTexts& texts = CsvHeaderTexts());
  // Creates or truncates the file and writes the bytes. false when it cannot be opened or
  // written completely.
  static bool WriteFile(const std::string& path, const std::string& bytes);
  // The path the export writes to: ".csv" appended unless the last four characters, upper-cased,
  // are ".CSV".
  static std::string ExportPath(const std::string& chosen);
};
