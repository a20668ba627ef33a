#include "platform/adapter_description.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

// A small sysfs: class/net/<name> links into devices/, physical cards link their driver.
class FakeSysfs : public ::testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/adapter_description_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    root_ = pattern;
    fs::create_directories(root_ / "class/net");
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  // A card on the PCI bus with its driver; returns the interface's real folder.
  fs::path Physical(const std::string& name, int type, const std::string& driver) {
    const fs::path card = root_ / "devices/pci0000:00" / ("card_" + name);
    const fs::path dir = card / "net" / name;
    fs::create_directories(dir);
    if (!driver.empty()) {
      fs::create_directories(root_ / "bus/pci/drivers" / driver);
      fs::create_directory_symlink(root_ / "bus/pci/drivers" / driver, card / "driver");
    }
    fs::create_directory_symlink(card, dir / "device");
    return Finish(name, dir, type);
  }
  fs::path Virtual(const std::string& name, int type, const std::string& devType = {}) {
    const fs::path dir = root_ / "devices/virtual/net" / name;
    fs::create_directories(dir);
    if (!devType.empty())
      std::ofstream(dir / "uevent") << "DEVTYPE=" << devType << "\nINTERFACE=" << name << "\n";
    return Finish(name, dir, type);
  }
  fs::path Finish(const std::string& name, const fs::path& dir, int type) {
    std::ofstream(dir / "type") << type << "\n";
    fs::create_directory_symlink(dir, root_ / "class/net" / name);
    return dir;
  }
  std::string Describe(const std::string& name) {
    return DescribeInterface(name, (root_ / "class/net").string());
  }

  fs::path root_;
};

TEST_F(FakeSysfs, NamesTheKindAndTheDriverOfEachInterface) {
  Physical("eth0", 1, "e1000e");
  fs::create_directory(Physical("wlan0", 1, "iwlwifi") / "wireless");
  Physical("usb0", 1, "");
  Physical("ib0", 32, "mlx4_core");
  Physical("odd0", 9999, "");
  Virtual("veth1", 1);
  Virtual("br0", 1, "bridge");
  Virtual("eth0.5", 1, "vlan");
  Virtual("tun0", 65534);

  const struct {
    const char* name;
    const char* expected;
  } cases[] = {
      {"eth0", "eth0 (Ethernet, e1000e)"},
      {"wlan0", "wlan0 (Wi-Fi, iwlwifi)"},
      {"usb0", "usb0 (Ethernet)"},
      {"ib0", "ib0 (InfiniBand, mlx4_core)"},
      {"odd0", "odd0"},  // nothing known: the name alone
      {"veth1", "veth1 (virtual)"},
      {"br0", "br0 (bridge)"},
      {"eth0.5", "eth0.5 (VLAN)"},
      {"tun0", "tun0 (virtual)"},
      {"gone0", "gone0"},  // not in sysfs
      {"..", ".."},        // never looked up outside the folder
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Describe(c.name), c.expected) << c.name;
}

TEST_F(FakeSysfs, ABrokenTypeFileStillGivesWhatElseIsKnown) {
  const fs::path dir = Physical("eth1", 1, "r8169");
  std::ofstream(dir / "type", std::ios::trunc) << "garbage";
  EXPECT_EQ(Describe("eth1"), "eth1 (r8169)");
}

}  // namespace
