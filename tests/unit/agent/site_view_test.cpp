// The central view's memory: what it keeps of the broker's documents, and its bounds.
#include "agent/site_view.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string DeviceTopic(const std::string& site, int n) {
  char mac[16];
  std::snprintf(mac, sizeof(mac), "021A2B%06X", n);
  return "ipscanner/" + site + "/devices/" + mac;
}

// Documents of one length, whatever n.
std::string SmallDevice(int n) {
  char room[8];
  std::snprintf(room, sizeof(room), "1-%03d", n % 1000);
  return nlohmann::json{{"ip", "10.0.0.1"}, {"room", room}, {"status", "online"}}.dump();
}

}  // namespace

// A 60 KB document (what a forged or a future agent may send) keeps only the listed fields,
// each cut: its kept text is a small fraction of it.
TEST(SiteView, KeepsOnlyTheListedFieldsCut) {
  nlohmann::json problems = nlohmann::json::array();
  for (int i = 0; i < 100; ++i)
    problems.push_back({{"code", "duplicate_ip"},
                        {"text", "Duplicate IP"},
                        {"detail", "x"},
                        {"extra", std::string(100, 'e')}});
  nlohmann::json document = {{"site", "tower-a"},
                             {"ip", "10.0.0.5"},
                             {"mac", "02:1a:2b:00:00:05"},
                             {"model", std::string(5000, 'M')},
                             {"room", "1-1-101"},
                             {"firmware", nlohmann::json::array({1, 2, 3})},  // not a scalar
                             {"status", "online"},
                             {"new", false},
                             {"padding", std::string(40000, 'p')},
                             {"problems", problems}};
  document["room"] = std::string(127, 'r') + "\xC3\xA9";  // a two-byte letter across the cut
  const std::string payload = document.dump();
  ASSERT_GT(payload.size(), 50000u);
  ASSERT_LE(payload.size(), CSiteView::kMaxPayload);

  CSiteView view;
  view.OnMessage("ipscanner/tower-a/devices/021A2B000005", payload);
  ASSERT_EQ(view.Sites().count("tower-a"), 1u);
  const auto& devices = view.Sites().at("tower-a").devices;
  ASSERT_EQ(devices.size(), 1u);
  const std::string& kept = devices.at("021A2B000005");
  EXPECT_LT(kept.size(), 2000u);
  EXPECT_LT(view.KeptBytes(), 2500u);

  const nlohmann::json fields = CSiteView::DeviceFields(kept);
  EXPECT_EQ(fields["ip"], "10.0.0.5");
  EXPECT_EQ(fields["status"], "online");
  EXPECT_EQ(fields["new"], false);
  EXPECT_EQ(fields["model"], std::string(CSiteView::kMaxFieldBytes, 'M'));
  EXPECT_EQ(fields["room"], std::string(127, 'r'));  // not half a letter
  EXPECT_FALSE(fields.contains("padding"));
  EXPECT_FALSE(fields.contains("firmware"));
  ASSERT_EQ(fields["problems"].size(), CSiteView::kMaxProblems);
  EXPECT_EQ(fields["problems"][0]["code"], "duplicate_ip");
  EXPECT_FALSE(fields["problems"][0].contains("extra"));
}

TEST(SiteView, IgnoresWhatNoAgentPublishes) {
  const std::string ok = SmallDevice(1);
  const struct {
    const char* topic;
    std::string payload;
  } cases[] = {
      {"other/tower-a/devices/021A2B000001", ok},
      {"ipscanner/tower-a", ok},
      {"ipscanner/.hidden/devices/021A2B000001", ok},
      {"ipscanner/tower-a/devices/", ok},
      {"ipscanner/tower-a/devices/02/1A", ok},
      {"ipscanner/tower-a/devices/021A2B000001", "[1,2,3]"},
      {"ipscanner/tower-a/devices/021A2B000001", "{\"ip\":"},
      {"ipscanner/tower-a/status", "\"online\""},
      {"ipscanner/tower-a/devices/021A2B000001",
       "{\"x\":\"" + std::string(CSiteView::kMaxPayload, 'x') + "\"}"},
  };
  CSiteView view;
  for (const auto& c : cases) view.OnMessage(c.topic, c.payload);
  EXPECT_TRUE(view.Sites().empty());
  EXPECT_EQ(view.LeftOut(), 0u);
  EXPECT_EQ(view.KeptBytes(), 0u);
}

// Past either bound documents are left out and counted, per site and in all; a cleared document
// gives its room back.
TEST(SiteView, BoundsLeaveDocumentsOutAndCountThem) {
  struct CASE_T {
    const char* name;
    SITE_VIEW_LIMITS_T limits;
    size_t kept;  // devices kept of 10 on one site
  };
  const size_t oneDevice =
      CSiteView::kEntryCost + 12 +
      CSiteView::KeepDeviceFields(nlohmann::json::parse(SmallDevice(1))).size();
  const size_t site = CSiteView::kEntryCost + 6 + 7;  // name, state and time
  const CASE_T cases[] = {
      {"entries", {1u << 20, 5}, 4},  // the site and four devices
      {"bytes", {site + 3 * oneDevice, 1000}, 3},
      {"roomy", {}, 10},
  };
  for (const CASE_T& c : cases) {
    SCOPED_TRACE(c.name);
    CSiteView view(c.limits);
    view.OnMessage("ipscanner/site-a/status", R"({"state":"online","time":"t"})");
    for (int n = 0; n < 10; ++n) view.OnMessage(DeviceTopic("site-a", n), SmallDevice(n));
    // A second site finds no room once the bound is reached.
    view.OnMessage(DeviceTopic("site-b", 0), SmallDevice(0));
    const auto& a = view.Sites().at("site-a");
    EXPECT_EQ(a.devices.size(), c.kept);
    EXPECT_EQ(a.leftOut, 10 - c.kept);
    EXPECT_EQ(view.Sites().count("site-b"), c.kept == 10 ? 1u : 0u);
    EXPECT_EQ(view.LeftOut(), c.kept == 10 ? 0u : 11 - c.kept);
    EXPECT_LE(view.KeptBytes(), c.limits.maxBytes);
    EXPECT_LE(view.Entries(), c.limits.maxEntries);
    EXPECT_EQ(a.state, "online");

    // Clearing a kept device frees its place for another.
    view.OnMessage(DeviceTopic("site-a", 0), "");
    view.OnMessage(DeviceTopic("site-a", 20), SmallDevice(20));
    EXPECT_EQ(a.devices.size(), c.kept);
    EXPECT_EQ(a.devices.count("021A2B000014"), 1u);
  }
}

// A kept device whose new document would grow past the byte bound leaves the view instead of
// showing its old document; a status that shrinks or stays is always taken.
TEST(SiteView, GrowingPastTheBoundDropsTheDevice) {
  const std::string small = SmallDevice(1);
  const std::string large =
      nlohmann::json{{"ip", "10.0.0.1"}, {"model", std::string(500, 'm')}}.dump();
  const size_t limit = CSiteView::kEntryCost + 6 + CSiteView::kEntryCost + 12 +
                       CSiteView::KeepDeviceFields(nlohmann::json::parse(small)).size() + 20;
  CSiteView view({limit, 100});
  view.OnMessage(DeviceTopic("site-a", 1), small);
  ASSERT_EQ(view.Sites().at("site-a").devices.size(), 1u);
  view.OnMessage(DeviceTopic("site-a", 1), large);
  EXPECT_EQ(view.Sites().at("site-a").devices.size(), 0u);
  EXPECT_EQ(view.Sites().at("site-a").leftOut, 1u);
  EXPECT_EQ(view.LeftOut(), 1u);
  EXPECT_LE(view.KeptBytes(), limit);
  view.OnMessage("ipscanner/site-a/status", R"({"state":"offline"})");
  EXPECT_EQ(view.Sites().at("site-a").state, "offline");
}
