#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/common/device_entry.h"

// Which devices an image may go to. A version's family is its part before the first '.'; the
// model catalog maps the same prefix to a model name. An image fits a device when both families
// are equal. A device without a firmware text is of unknown family: it never fits, and only the
// installer's explicit override sends it the image.

// "105" for "105.40.1.1"; the whole text when it has no '.'; "" for "".
std::string FirmwareFamily(const std::string& version);

enum class ImageFit {
  kFits,
  kOtherFamily,    // the device runs firmware of another family
  kUnknownDevice,  // the device reports no firmware
};

ImageFit ImageFitFor(const std::string& imageVersion, const std::string& deviceFirmware);

// The devices of a rollout sorted before anything is sent.
struct UpgradePlan {
  struct ModelGroup {
    size_t devices = 0;
    std::set<std::string> versions;  // their current firmware texts
  };

  std::vector<DEVICE_ENTRY_T> toUpgrade;      // fit, and not yet on the image's version
  std::vector<DEVICE_ENTRY_T> alreadyOn;      // already on the image's version: skipped
  std::vector<DEVICE_ENTRY_T> incompatible;   // another or an unknown family
  std::map<std::string, ModelGroup> byModel;  // every device, by its model text

  // The devices the rollout receives: those to upgrade and those already on the version (the
  // rollout skips these itself), plus the incompatible ones when the override is given.
  std::vector<DEVICE_ENTRY_T> Targets(bool includeIncompatible) const;
};

UpgradePlan PlanUpgrade(const std::string& imageVersion,
                        const std::vector<DEVICE_ENTRY_T>& devices);
