#include "core/upgrade/upgrade_compat.h"

#include <gtest/gtest.h>

namespace {

DEVICE_ENTRY_T Device(const char* mac, const char* model, const char* firmware) {
  return DEVICE_ENTRY_T{"10.213.1.1", mac, mac, model, "1-0101", firmware};
}

TEST(UpgradeCompat, ImageFitsDevicesOfItsOwnFamilyOnly) {
  const struct {
    const char* image;
    const char* device;
    ImageFit fit;
  } cases[] = {
      {"105.40.1.1", "105.30.1.2", ImageFit::kFits},
      {"105.40.1.1", "105.40.1.1", ImageFit::kFits},
      {"105.40.1.1", "10.40.1.1", ImageFit::kOtherFamily},  // a prefix of the family is not it
      {"105.40.1.1", "1050.40.1.1", ImageFit::kOtherFamily},
      {"105.40.1.1", "29.30.1.2", ImageFit::kOtherFamily},
      {"105", "105.30.1.2", ImageFit::kFits},  // a version without '.' is all family
      {"105.40.1.1", "", ImageFit::kUnknownDevice},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ImageFitFor(c.image, c.device), c.fit) << c.image << " on " << c.device;
}

TEST(UpgradeCompat, PlanSortsDevicesAndGroupsThemByModel) {
  const std::vector<DEVICE_ENTRY_T> devices = {
      Device("A", "Door", "105.30.1.1"),  Device("B", "Door", "105.31.1.1"),
      Device("C", "Door", "105.40.1.1"),  // already on the image's version
      Device("D", "Indoor", "29.30.1.1"), Device("E", "", ""),
  };
  const UpgradePlan plan = PlanUpgrade("105.40.1.1", devices);
  auto macs = [](const std::vector<DEVICE_ENTRY_T>& list) {
    std::string out;
    for (const DEVICE_ENTRY_T& d : list) out += d.mac;
    return out;
  };
  EXPECT_EQ(macs(plan.toUpgrade), "AB");
  EXPECT_EQ(macs(plan.alreadyOn), "C");
  EXPECT_EQ(macs(plan.incompatible), "DE");
  EXPECT_EQ(macs(plan.Targets(false)), "ABC");
  EXPECT_EQ(macs(plan.Targets(true)), "ABCDE");

  ASSERT_EQ(plan.byModel.size(), 3u);
  EXPECT_EQ(plan.byModel.at("Door").devices, 3u);
  EXPECT_EQ(plan.byModel.at("Door").versions,
            (std::set<std::string>{"105.30.1.1", "105.31.1.1", "105.40.1.1"}));
  EXPECT_EQ(plan.byModel.at("").versions, std::set<std::string>{""});
}

}  // namespace
