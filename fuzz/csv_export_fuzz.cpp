// The device list export on any device texts. Properties: a strict RFC 4180 reader (CRLF
// records, quoted fields with doubled quotes, nothing outside the quotes) reads the file back
// as a header and one row of six fields each; every cell holds its value with the control
// characters other than tab dropped, guarded by one leading single quote or not; and no cell
// starts with a formula character.
// Input: the five texts of a device (IP, MAC, model, room, firmware) separated by 0xFF bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/export/csv_export.h"

namespace {

using Record = std::vector<std::string>;

// RFC 4180, strictly: false for anything the grammar does not allow.
bool ReadStrict(const std::string& file, std::vector<Record>* records) {
  size_t i = 0;
  while (i < file.size()) {
    Record record;
    for (;;) {
      std::string field;
      if (i < file.size() && file[i] == '"') {
        ++i;
        for (;;) {
          if (i >= file.size()) return false;  // unterminated quote
          if (file[i] == '"') {
            if (i + 1 < file.size() && file[i + 1] == '"') {
              field += '"';
              i += 2;
              continue;
            }
            ++i;
            break;
          }
          field += file[i++];
        }
      } else {
        while (i < file.size() && file[i] != ',' && file[i] != '\r' && file[i] != '\n') {
          if (file[i] == '"') return false;  // a quote in an unquoted field
          field += file[i++];
        }
      }
      record.push_back(field);
      if (i < file.size() && file[i] == ',') {
        ++i;
        continue;
      }
      if (i + 1 < file.size() && file[i] == '\r' && file[i + 1] == '\n') {
        i += 2;
        break;
      }
      return false;  // a record must end in CR LF (the writer ends every line so)
    }
    records->push_back(record);
  }
  return true;
}

std::string WithoutControls(const std::string& value) {
  std::string out;
  for (char ch : value) {
    const auto c = static_cast<unsigned char>(ch);
    if ((c >= 0x20 && c != 0x7F) || c == '\t') out += ch;
  }
  return out;
}

bool StartsLikeFormula(const std::string& cell) {
  return !cell.empty() && (cell[0] == '=' || cell[0] == '+' || cell[0] == '-' || cell[0] == '@');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> texts(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0xFF) {
      if (texts.size() == 5) break;
      texts.emplace_back();
    } else {
      texts.back() += static_cast<char>(data[i]);
    }
  }
  texts.resize(5);
  DEVICE_ENTRY_T device{texts[0], texts[1], texts[1], texts[2], texts[3], texts[4]};
  // The header texts come from the shipped catalogs, not from devices: the defaults.
  const std::string file = CCsvExport::FormatFile(std::vector<DEVICE_ENTRY_T>{device});

  std::vector<Record> records;
  if (!ReadStrict(file, &records)) std::abort();
  if (records.size() != 2 || records[0].size() != 6 || records[1].size() != 6) std::abort();
  if (records[1][0] != "1") std::abort();
  for (size_t f = 1; f < 6; ++f) {
    const std::string& cell = records[1][f];
    if (StartsLikeFormula(cell)) std::abort();
    const std::string expected = WithoutControls(texts[f - 1]);
    if (cell != expected && cell != "'" + expected) std::abort();
  }
  return 0;
}
