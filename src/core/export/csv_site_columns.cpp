#include "core/export/csv_site_columns.h"

namespace {

void AppendCells(std::string& line, const std::vector<std::string>& cells) {
  // The line ends in CR LF; the cells go in front of it.
  if (line.size() >= 2) line.resize(line.size() - 2);
  for (const std::string& cell : cells) {
    line += ',';
    line += CCsvExport::QuotedCell(cell);  // the export's own cell rules
  }
  line += "\r\n";
}

}  // namespace

std::string CCsvSiteColumns::FormatFile(const std::vector<const DEVICE_ENTRY_T*>& rows,
                                        const CsvHeaderTexts& texts,
                                        const std::vector<std::string>& extraTitles,
                                        const ExtraCells& extraCells) {
  std::string bytes = CCsvExport::FormatHeader(texts);
  AppendCells(bytes, extraTitles);
  for (size_t i = 0; i < rows.size(); ++i) {
    if (rows[i] == nullptr) continue;
    std::string line = CCsvExport::FormatRow(static_cast<int>(i) + 1, *rows[i]);
    AppendCells(line, extraCells(*rows[i]));
    bytes += line;
  }
  return bytes;
}

std::string CCsvSiteColumns::FormatFile(const std::vector<DEVICE_ENTRY_T>& rows,
                                        const CsvHeaderTexts& texts,
                                        const std::vector<std::string>& extraTitles,
                                        const ExtraCells& extraCells) {
  std::vector<const DEVICE_ENTRY_T*> pointers;
  pointers.reserve(rows.size());
  for (const DEVICE_ENTRY_T& row : rows) pointers.push_back(&row);
  return FormatFile(pointers, texts, extraTitles, extraCells);
}

std::vector<std::string> CCsvSiteColumns::StatusAndProblems(
    const DEVICE_LIVE_T& live, const std::vector<SITE_PROBLEM_T>* problems,
    const TextTranslator& tr) {
  const char* status = "Online";
  if (!live.known) {
    status = "";  // not heard by the tracker: nothing to say
  } else if (live.status == EDeviceStatus::kMissing) {
    status = "Missing";
  } else if (live.status == EDeviceStatus::kBack) {
    status = "Back";
  } else if (live.isNew) {
    status = "New";
  }
  std::string joined;
  if (problems != nullptr) {
    for (const SITE_PROBLEM_T& p : *problems) {
      if (!joined.empty()) joined += "; ";
      joined += CSiteProblems::ShortText(p.code, tr);
    }
  }
  return {tr && *status ? tr(status) : status, joined};
}
