#include "core/upgrade/upgrade_compat.h"

std::string FirmwareFamily(const std::string& version) {
  return version.substr(0, version.find('.'));
}

ImageFit ImageFitFor(const std::string& imageVersion, const std::string& deviceFirmware) {
  if (deviceFirmware.empty()) return ImageFit::kUnknownDevice;
  return FirmwareFamily(imageVersion) == FirmwareFamily(deviceFirmware) ? ImageFit::kFits
                                                                        : ImageFit::kOtherFamily;
}

std::vector<DEVICE_ENTRY_T> UpgradePlan::Targets(bool includeIncompatible) const {
  std::vector<DEVICE_ENTRY_T> targets = toUpgrade;
  targets.insert(targets.end(), alreadyOn.begin(), alreadyOn.end());
  if (includeIncompatible) targets.insert(targets.end(), incompatible.begin(), incompatible.end());
  return targets;
}

UpgradePlan PlanUpgrade(const std::string& imageVersion,
                        const std::vector<DEVICE_ENTRY_T>& devices) {
  UpgradePlan plan;
  for (const DEVICE_ENTRY_T& d : devices) {
    UpgradePlan::ModelGroup& group = plan.byModel[d.model];
    ++group.devices;
    group.versions.insert(d.firmware);
    if (ImageFitFor(imageVersion, d.firmware) != ImageFit::kFits) {
      plan.incompatible.push_back(d);
    } else if (d.firmware == imageVersion) {
      plan.alreadyOn.push_back(d);
    } else {
      plan.toUpgrade.push_back(d);
    }
  }
  return plan;
}
