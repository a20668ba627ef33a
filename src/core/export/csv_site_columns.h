#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/export/csv_export.h"
#include "core/site/device_status.h"
#include "core/site/site_problems.h"

// The device list export with the site's columns after the list's own: each line is the line
// CCsvExport writes, then the extra quoted fields. A reader of the first columns sees the file
// unchanged.
class CCsvSiteColumns {
public:
  using ExtraCells = std::function<std::vector<std::string>(const DEVICE_ENTRY_T&)>;

  static std::string FormatFile(const std::vector<const DEVICE_ENTRY_T*>& rows,
                                const CsvHeaderTexts& texts,
                                const std::vector<std::string>& extraTitles,
                                const ExtraCells& extraCells);
  static std::string FormatFile(const std::vector<DEVICE_ENTRY_T>& rows,
                                const CsvHeaderTexts& texts,
                                const std::vector<std::string>& extraTitles,
                                const ExtraCells& extraCells);

  // The two site cells of a device: its status ("Online", "New", "Missing", "Back"; "" when the
  // tracker never heard it) and its
  // problems' short texts joined by "; ". tr maps the English texts to the catalog's.
  static std::vector<std::string> StatusAndProblems(const DEVICE_LIVE_T& live,
                                                    const std::vector<SITE_PROBLEM_T>* problems,
                                                    const TextTranslator& tr = {});
};
