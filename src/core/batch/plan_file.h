#pragma once

#include <string>
#include <vector>

// A plan file: CSV with a header row, then one row a device. Columns by header name (any letter
// case, surrounding blanks ignored): `mac` or `room` names the device, `ip` is its address, and
// `mask`, `gateway`, `dns1`, `dns2` are optional. Other columns are ignored, so the result record
// of an assignment (whose `ip`..`dns2` hold the settings before it) reads back as a plan that
// restores them. Cells may be quoted ("..", "" for a quote); a leading ' that a spreadsheet
// guard added is dropped.
struct PlanFileRow {
  int line = 0;     // 1-based line of the file
  std::string mac;  // compact (12 upper-case digits), or empty
  std::string room;
  std::string ip, mask, gateway, dns1, dns2;  // as written; empty when not given
};

struct PlanFile {
  std::vector<PlanFileRow> rows;
  std::vector<std::string> errors;  // "line 4: ..." for every row that cannot be used
  bool Valid() const { return errors.empty(); }
};

// Parses and checks the text: a header with `ip` and `mac` or `room`; each row's MAC (when
// given) a MAC, its addresses valid dotted IPv4 texts, its mask a contiguous mask. Blank lines
// are skipped. Bounded: a file of more than kMaxPlanRows rows is refused.
inline constexpr size_t kMaxPlanRows = 100000;
PlanFile ParsePlanFile(const std::string& text);

// One CSV line split into cells by the rules above; false for an unclosed quote.
bool SplitCsvLine(const std::string& line, std::vector<std::string>* cells);
