#include "ui/assign/assign_address_dlg.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QTableWidget>
#include <QTemporaryDir>
#include <map>
#include <mutex>
#include <set>

#include "support/ui_driver.h"
#include "transport/udp_frame.h"
#include "ui/framework/control_util.h"
#include "ui/framework/dialog_codes.h"

using namespace std::chrono_literals;

namespace {

uint32_t Ip(const char* text) {
  uint32_t ip = 0;
  ParseIpv4(text, &ip);
  return ip;
}

DEVICE_ENTRY_T Dev(const std::string& ip, const std::string& mac, const std::string& room) {
  return DEVICE_ENTRY_T{ip, mac, mac, "IM-700", room, "105.30.1.1"};
}

// The dialog on an adapter 10.0.0.5/24 whose ARP probe is a table of hosts that answer, with
// its waits run in place and the devices doubled: each one, once updated, is listed at its new
// address by the next discovery, and `refused` devices refuse the credential.
class TestAssignDlg : public CAssignAddressDlg {
public:
  explicit TestAssignDlg(std::vector<DEVICE_ENTRY_T> devices)
      : CAssignAddressDlg(std::move(devices), nullptr, false) {}

  std::map<uint32_t, std::string> hosts;  // address -> MAC of a host that answers ARP for it
  std::set<std::string> refused;
  int probes = 0;

  // Built and shown without a modal loop, so the test clicks in between.
  bool Open() {
    if (!Create()) return false;
    show();
    return true;
  }
  QTableWidget* Table() const { return FindControl<QTableWidget>(QStringLiteral("table_plan")); }
  void Click(const char* name) { ASSERT_TRUE(uitest::ClickControl(GetRoot(), name)) << name; }
  void SetText(const char* name, const QString& text) {
    FindControl<QLineEdit>(QString::fromLatin1(name))->setText(text);
  }
  void EditPlanned(int row, const QString& ip) { Table()->item(row, kColPlanned)->setText(ip); }
  bool ApplyEnabled() const {
    return FindControl<QAbstractButton>(QStringLiteral("btn_apply"))->isEnabled();
  }

protected:
  IPV4_SUBNET_T OpenAdapter() override { return {Ip("10.0.0.5"), Ip("255.255.255.0")}; }
  bool PlanRange(PlanInputs& inputs, const RangeRule& rule, AddressPlan* plan) override {
    ++probes;
    inputs.arpAnswers = Answers();
    *plan = PlanFromRange(inputs, rule);
    return true;
  }
  bool Recheck(PlanInputs& inputs, AddressPlan* plan) override {
    ++probes;
    inputs.arpAnswers = Answers();
    ReplanAddress(inputs, plan, 0, plan->devices[0].ip);
    return true;
  }
  void RunBlocking(const QString&, const std::function<void()>& work) override { work(); }
  AssignOptions RunOptions() const override {
    AssignOptions o;
    o.verifyTime = 2s;
    o.discoveryPeriod = 20ms;
    o.checkPeriod = 10ms;
    return o;
  }
  AssignOps Ops(const std::string& user, const std::string& password) override {
    AssignOps ops;
    ops.readConfig = [](const DEVICE_ENTRY_T&) {
      return std::optional<std::map<std::string, std::string>>();
    };
    ops.authenticate = [this, user, password](const DEVICE_ENTRY_T& d) {
      return refused.count(d.mac) || user != "admin" || password != "secret"
                 ? device_ops::AuthOutcome::kRefused
                 : device_ops::AuthOutcome::kAccepted;
    };
    ops.update = [this](const DEVICE_ENTRY_T& d, const device_config::NetworkSettings& s) {
      std::lock_guard<std::mutex> lock(m_lock);
      m_moved[d.mac] = s.ip;
      device_ops::UpdateResult r;
      r.outcome = device_ops::UpdateOutcome::kSucceeded;
      return r;
    };
    ops.forget = [](const DEVICE_ENTRY_T&) {};
    ops.discover = [] {};
    ops.table = [this] {
      std::lock_guard<std::mutex> lock(m_lock);
      std::vector<DEVICE_ENTRY_T> out;
      for (const auto& [mac, ip] : m_moved) out.push_back(Dev(ip, mac, ""));
      return out;
    };
    ops.claimOf = [](uint32_t) { return std::string(); };
    return ops;
  }

private:
  std::unordered_map<uint32_t, std::string> Answers() const { return {hosts.begin(), hosts.end()}; }
  std::mutex m_lock;
  std::map<std::string, std::string> m_moved;
};

class AssignAddressDlgTest : public testing::Test {
protected:
  // Handed in as rooms 3, 1, 2, two of them on one factory address.
  std::vector<DEVICE_ENTRY_T> devices = {Dev("192.168.1.20", "02:00:00:00:00:03", "3"),
                                         Dev("192.168.1.20", "020000000001", "1"),
                                         Dev("10.0.0.12", "02:00:00:00:00:02", "2")};
};

TEST_F(AssignAddressDlgTest, PreviewShowsPlanAndConflictsAndRefusesApplyUntilFixed) {
  TestAssignDlg dlg(devices);
  dlg.hosts[Ip("10.0.0.11")] = "0011223344AA";
  ASSERT_TRUE(dlg.Open());
  // The adapter's subnet is filled in.
  EXPECT_EQ(uitest::ReadLabel(dlg.GetRoot(), "edit_start"), "10.0.0.1");
  EXPECT_EQ(uitest::ReadLabel(dlg.GetRoot(), "edit_mask"), "255.255.255.0");

  dlg.SetText("edit_start", "10.0.0.10");
  dlg.SetText("edit_gateway", "10.0.0.1");
  dlg.Click("btn_preview");
  ASSERT_EQ(dlg.Plan().devices.size(), 3u);
  // Room order from the start; .11 answered the ARP probe and is skipped.
  EXPECT_EQ(dlg.CellText(0, CAssignAddressDlg::kColRoom), "1");
  EXPECT_EQ(dlg.CellText(0, CAssignAddressDlg::kColMac), "02:00:00:00:00:01")
      << "the list's spelling";
  EXPECT_EQ(dlg.Plan().devices[0].device.mac, "020000000001") << "the device's own";
  EXPECT_EQ(dlg.CellText(0, CAssignAddressDlg::kColCurrent), "192.168.1.20");
  EXPECT_EQ(dlg.CellText(0, CAssignAddressDlg::kColPlanned), "10.0.0.10");
  EXPECT_NE(dlg.CellText(1, CAssignAddressDlg::kColPlanned), "10.0.0.11");

  // Edits onto the gateway and onto another planned address are checked at once and named in
  // words; Apply stays off while a conflict remains.
  dlg.EditPlanned(0, "10.0.0.1");
  EXPECT_EQ(dlg.CellText(0, CAssignAddressDlg::kColState), "address of the gateway");
  const QString second = dlg.CellText(2, CAssignAddressDlg::kColPlanned);
  dlg.EditPlanned(1, second);
  EXPECT_TRUE(dlg.CellText(1, CAssignAddressDlg::kColState)
                  .startsWith("same address planned for another device: 02:00:00:00:00:0"));
  EXPECT_TRUE(dlg.CellText(2, CAssignAddressDlg::kColState)
                  .startsWith("same address planned for another device"));
  EXPECT_TRUE(uitest::ReadLabel(dlg.GetRoot(), "lab_hint").startsWith("3 conflicts"))
      << uitest::ReadLabel(dlg.GetRoot(), "lab_hint").toStdString();
  // An edit onto the address the ARP host owns.
  dlg.EditPlanned(0, "10.0.0.11");
  EXPECT_EQ(dlg.CellText(0, CAssignAddressDlg::kColState),
            "address answered by another host: 0011223344AA");
  EXPECT_FALSE(dlg.ApplyEnabled());

  // Fixed by hand: clean, and Apply is offered.
  dlg.EditPlanned(0, "10.0.0.30");
  dlg.EditPlanned(1, "10.0.0.31");
  EXPECT_EQ(dlg.Plan().ConflictCount(), 0u);
  for (int row = 0; row < 3; ++row) EXPECT_EQ(dlg.CellText(row, CAssignAddressDlg::kColState), "");
  EXPECT_TRUE(dlg.ApplyEnabled());

  // An edited address is probed at Apply: a host that answers for it now stops the run.
  dlg.hosts[Ip("10.0.0.31")] = "0011223344BB";
  dlg.SetText("edit_user", "admin");
  dlg.SetText("edit_password", "secret");
  const int probesBefore = dlg.probes;
  dlg.Click("btn_apply");
  EXPECT_EQ(dlg.probes, probesBefore + 1);
  EXPECT_FALSE(dlg.Running());
  EXPECT_TRUE(dlg.Outcomes().empty());
  EXPECT_EQ(dlg.CellText(1, CAssignAddressDlg::kColState),
            "address answered by another host: 0011223344BB");
  EXPECT_FALSE(dlg.ApplyEnabled());

  dlg.EditPlanned(1, "10.0.0.32");
  dlg.Click("btn_apply");
  EXPECT_TRUE(dlg.Running());
  ASSERT_TRUE(uitest::WaitUntil([&] { return !dlg.Running(); }));
  for (int row = 0; row < 3; ++row)
    EXPECT_EQ(dlg.CellText(row, CAssignAddressDlg::kColState), "Success") << row;
  EXPECT_EQ(uitest::ReadLabel(dlg.GetRoot(), "lab_success_count"), "Success: 3");
  EXPECT_EQ(uitest::ReadLabel(dlg.GetRoot(), "lab_running_count"), "Running: 0");
  // The password does not stay in the window.
  EXPECT_EQ(uitest::ReadLabel(dlg.GetRoot(), "edit_password"), "");
}

TEST_F(AssignAddressDlgTest, FailuresShowTheirReasonAndTheRecordIsExported) {
  TestAssignDlg dlg(devices);
  dlg.refused.insert("02:00:00:00:00:02");
  ASSERT_TRUE(dlg.Open());
  dlg.SetText("edit_start", "10.0.0.40");
  dlg.SetText("edit_gateway", "10.0.0.1");
  dlg.Click("btn_preview");
  ASSERT_EQ(dlg.Plan().ConflictCount(), 0u);
  dlg.SetText("edit_user", "admin");
  dlg.SetText("edit_password", "secret");
  dlg.Click("btn_apply");
  ASSERT_TRUE(uitest::WaitUntil([&] { return !dlg.Running(); }));
  EXPECT_EQ(dlg.CellText(1, CAssignAddressDlg::kColState), "Failed: authentication refused");
  EXPECT_EQ(uitest::ReadLabel(dlg.GetRoot(), "lab_failed_count"), "Failed: 1");
  EXPECT_EQ(uitest::ReadLabel(dlg.GetRoot(), "lab_success_count"), "Success: 2");

  QTemporaryDir dir;
  const QString path = dir.filePath("record.csv");
  CAssignAddressDlg::SetSaveFileHook([path](QWidget*) { return path; });
  uitest::MessageBoxAnswers boxes;
  boxes.Queue(IDOK, "Exporting succeeded.");
  dlg.Click("btn_export");
  CAssignAddressDlg::SetSaveFileHook(nullptr);
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QString text = QString::fromUtf8(file.readAll());
  EXPECT_TRUE(text.contains("\"02:00:00:00:00:02\"")) << text.toStdString();
  EXPECT_TRUE(text.contains("\"10.0.0.41\"")) << text.toStdString();
  EXPECT_TRUE(text.contains("authentication refused")) << text.toStdString();
}

TEST_F(AssignAddressDlgTest, ARefusedCredentialAsksAgainAndTheRightOneMovesEveryDevice) {
  TestAssignDlg dlg(devices);
  ASSERT_TRUE(dlg.Open());
  dlg.SetText("edit_start", "10.0.0.40");
  dlg.SetText("edit_gateway", "10.0.0.1");
  dlg.Click("btn_preview");
  ASSERT_EQ(dlg.Plan().ConflictCount(), 0u);
  dlg.SetText("edit_user", "admin");
  dlg.SetText("edit_password", "wrong");
  {
    uitest::MessageBoxAnswers boxes;
    boxes.Queue(IDOK, "refused the user name or password");
    dlg.Click("btn_apply");
    ASSERT_TRUE(uitest::WaitUntil([&] { return !dlg.Running() && !boxes.Shown().empty(); }));
  }
  // Back at the credential, with the plan as it was: nothing was changed.
  auto* password = ::FindControl<QLineEdit>(dlg.GetRoot(), QStringLiteral("edit_password"));
  EXPECT_TRUE(password->isEnabled());
  EXPECT_TRUE(password->text().isEmpty());
  EXPECT_TRUE(dlg.ApplyEnabled());
  for (int row = 0; row < 3; ++row) {
    EXPECT_EQ(dlg.CellText(row, CAssignAddressDlg::kColPlanned),
              QString::fromStdString(dlg.Plan().devices[row].ip));
    EXPECT_FALSE(dlg.CellText(row, CAssignAddressDlg::kColState).startsWith("Failed")) << row;
  }

  dlg.SetText("edit_password", "secret");
  dlg.Click("btn_apply");
  ASSERT_TRUE(uitest::WaitUntil([&] { return !dlg.Running(); }));
  EXPECT_EQ(uitest::ReadLabel(dlg.GetRoot(), "lab_success_count"), "Success: 3");
}

TEST_F(AssignAddressDlgTest, RuleFieldsAreCheckedBeforeAnyProbe) {
  struct Case {
    const char* start;
    const char* gateway;
    const char* hint;
  };
  const Case cases[] = {{"10.0.0.10", "", "Fill in every required field."},
                        {"10.0.0.300", "10.0.0.1", "An address of the rule is not valid."},
                        {"", "10.0.0.1", "Fill in every required field."}};
  for (const Case& c : cases) {
    TestAssignDlg dlg(devices);
    ASSERT_TRUE(dlg.Open());
    dlg.SetText("edit_start", c.start);
    dlg.SetText("edit_gateway", c.gateway);
    dlg.Click("btn_preview");
    EXPECT_EQ(dlg.probes, 0) << c.start;
    EXPECT_EQ(uitest::ReadLabel(dlg.GetRoot(), "lab_hint"), c.hint) << c.start;
    EXPECT_FALSE(dlg.ApplyEnabled());
  }
}

}  // namespace
