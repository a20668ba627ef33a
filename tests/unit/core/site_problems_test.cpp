#include "core/site/site_problems.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

DEVICE_ENTRY_T Device(const std::string& mac, const std::string& ip,
                      const std::string& model = "DS-210 Door Station",
                      const std::string& room = "") {
  return DEVICE_ENTRY_T{ip, mac, mac, model, room.empty() ? mac : room, "12.30.1.1"};
}

const std::vector<IPV4_SUBNET_T> kLan = {{0x0AD50101, 0xFFFF0000}};  // 10.213.1.1/16

std::vector<std::string> Codes(const SiteProblemMap& map, const std::string& mac) {
  std::vector<std::string> codes;
  const auto it = map.find(mac);
  if (it == map.end()) return codes;
  for (const SITE_PROBLEM_T& p : it->second) codes.push_back(CSiteProblems::Code(p.code));
  return codes;
}

using Codes_t = std::vector<std::string>;

TEST(SiteProblems, EachRuleFlagsWhatItShould) {
  const std::vector<DEVICE_ENTRY_T> table = {
      Device("A", "10.213.1.10"),
      Device("B", "10.213.1.10"),
      Device("C", "010.213.1.10"),  // the same address written otherwise
      Device("D", "10.213.1.11", "DS-210 Door Station", "1-0101"),
      Device("E", "10.213.1.12", "DS-220 Door Station", "1-0101"),    // same kind: door
      Device("F", "10.213.1.13", "IM-700 Indoor Monitor", "1-0101"),  // the room's monitor
      Device("G", "192.168.7.5"),
      Device("H", "10.213.1.14", ""),
      Device("I", "not an address"),
  };
  const SiteProblemMap map = CSiteProblems::Compute(table, kLan);
  EXPECT_EQ(Codes(map, "A"), Codes_t{"duplicate_ip"});
  EXPECT_EQ(Codes(map, "C"), Codes_t{"duplicate_ip"});
  EXPECT_EQ(Codes(map, "D"), Codes_t{"duplicate_room"});
  EXPECT_EQ(Codes(map, "E"), Codes_t{"duplicate_room"});
  EXPECT_EQ(Codes(map, "F"), Codes_t{});
  EXPECT_EQ(Codes(map, "G"), Codes_t{"outside_subnet"});
  EXPECT_EQ(Codes(map, "H"), Codes_t{"unknown_model"});
  EXPECT_EQ(Codes(map, "I"), Codes_t{});  // nothing to judge an address by
  EXPECT_EQ(map.at("A").front().others, (Codes_t{"B", "C"}));

  // Without the adapter's networks nobody is called unreachable.
  EXPECT_EQ(Codes(CSiteProblems::Compute(table, {}), "G"), Codes_t{});
}

TEST(SiteProblems, ChangingAnIpMovesADeviceIntoAConflictAndOut) {
  std::vector<DEVICE_ENTRY_T> table = {Device("A", "10.213.1.10"), Device("B", "10.213.1.20")};
  EXPECT_TRUE(CSiteProblems::Compute(table, kLan).empty());
  table[1].ip = "10.213.1.10";
  SiteProblemMap map = CSiteProblems::Compute(table, kLan);
  EXPECT_EQ(Codes(map, "A"), Codes_t{"duplicate_ip"});
  EXPECT_EQ(Codes(map, "B"), Codes_t{"duplicate_ip"});
  table[1].ip = "10.213.1.21";
  EXPECT_TRUE(CSiteProblems::Compute(table, kLan).empty());
}

TEST(SiteProblems, OneDeviceWithMacsDifferingInCaseIsNoConflict) {
  const std::vector<DEVICE_ENTRY_T> table = {Device("02:1a:2b:3c:4d:5e", "10.213.1.10"),
                                             Device("02:1A:2B:3C:4D:5E", "10.213.1.10")};
  EXPECT_TRUE(CSiteProblems::Compute(table, kLan).empty());
}

TEST(SiteProblems, ExplanationsNameTheOthersAndWhatToDo) {
  SITE_PROBLEM_T dup{
      EProblemCode::kDuplicateIp, "10.213.1.10", {"B", "C", "D", "E", "F", "G", "H"}};
  const std::string text = CSiteProblems::Explanation(dup, kLan);
  EXPECT_NE(text.find("10.213.1.10 is also used by B, C, D, E, F and 2 more."), std::string::npos)
      << text;
  SITE_PROBLEM_T outside{EProblemCode::kOutsideSubnet, "192.168.7.5", {}};
  EXPECT_NE(CSiteProblems::Explanation(outside, kLan).find("(10.213.1.1/16)"), std::string::npos);
  // A catalog's translation is used, its placeholders filled.
  const TextTranslator upper = [](const std::string& key) {
    return key == "Unknown model" ? std::string("Modell unbekannt") : key;
  };
  EXPECT_EQ(CSiteProblems::ShortText(EProblemCode::kUnknownModel, upper), "Modell unbekannt");
}

// A large group sharing one IP: every member counts all the others but names only a few, never
// itself, so the check stays linear in the table.
TEST(SiteProblems, AGroupKeepsACountAndNamesAFew) {
  std::vector<DEVICE_ENTRY_T> table;
  for (int i = 0; i < 40; ++i) table.push_back(Device("M" + std::to_string(i), "10.213.1.10"));
  const SiteProblemMap map = CSiteProblems::Compute(table, kLan);
  ASSERT_EQ(map.size(), 40u);
  for (const char* mac : {"M0", "M3", "M39"}) {
    const SITE_PROBLEM_T& p = map.at(mac).front();
    EXPECT_EQ(p.otherCount, 39u) << mac;
    EXPECT_EQ(p.others.size(), 5u) << mac;
    EXPECT_EQ(std::count(p.others.begin(), p.others.end(), mac), 0) << mac;
  }
  EXPECT_NE(CSiteProblems::Explanation(map.at("M3").front(), kLan)
                .find("is also used by M0, M1, M2, M4, M5 and 34 more."),
            std::string::npos);
}

// Placeholders are filled in one pass: a device whose MAC text reads "%1" is named as it is,
// and neither hides the real address nor is read as a placeholder itself.
TEST(SiteProblems, ATextThatLooksLikeAPlaceholderStaysAsSent) {
  const std::vector<DEVICE_ENTRY_T> table = {Device("%1", "10.213.1.10"),
                                             Device("B", "10.213.1.10")};
  const std::string text =
      CSiteProblems::Explanation(CSiteProblems::Compute(table, kLan).at("B").front(), kLan);
  EXPECT_NE(text.find("10.213.1.10 is also used by %1. "), std::string::npos) << text;
}

}  // namespace
