#pragma once

#include <string>
#include <vector>

#include "core/batch/batch_static_run.h"

// How `static` prints its result: one progress line per finished device, the final table (IP,
// MAC, model, status with the reason of a failure) and the JSON array. Device texts in the
// line and the table have their control characters escaped.
class CStaticResultOutput {
public:
  static std::string FormatLine(const BatchStaticRow& row);
  static std::string FormatTable(const std::vector<BatchStaticRow>& rows);
  // [{"ip":..,"mac":..,"model":..,"status":"Success"|"Failed","reason":..}, ...]
  static std::string FormatJson(const std::vector<BatchStaticRow>& rows);
};
