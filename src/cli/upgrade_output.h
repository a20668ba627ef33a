#pragma once

#include <string>
#include <vector>

#include "core/upgrade/upgrade_rollout.h"

// How the upgrade command shows a rollout: progress lines on a terminal, the final table and the
// JSON document. Device texts are shown with control characters escaped.
class CUpgradeOutput {
public:
  // One status line for a device that changed: "02:1A:2B:00:00:05  10.213.1.5  completed  6.1 s".
  static std::string StatusLine(const RolloutEntry& entry);
  // One summary line with the counts by result.
  static std::string SummaryLine(const std::vector<RolloutEntry>& entries);
  // Device, IP, old version, new version, result, time (s).
  static std::string FormatTable(const std::vector<RolloutEntry>& entries);
  // skippedIncompatible: devices left out because the image does not fit their firmware family.
  static std::string FormatJson(const std::string& image, const std::string& version,
                                const std::vector<RolloutEntry>& entries,
                                const std::vector<DEVICE_ENTRY_T>& skippedIncompatible = {});
  // "Skipped (another firmware family):" and one line per device; "" for none.
  static std::string SkippedLines(const std::vector<DEVICE_ENTRY_T>& skippedIncompatible);
  // The result as shown: "failed: <the device's reason>" for a device that refused.
  static std::string ResultText(const RolloutEntry& entry);
};
