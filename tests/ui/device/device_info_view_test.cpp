#include "ui/device/device_info_view.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QUrl>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "core/common/op_clock.h"
#include "core/control/control.h"
#include "core/control/control_outbound_hooks.h"
#include "protocol/msg_header.h"
#include "protocol/payload_envelope.h"
#include "protocol/text_field.h"
#include "support/ui_driver.h"
#include "ui/framework/dialog_codes.h"
#include "ui/framework/notify_hub.h"
#include "ui/framework/window_note.h"
#include "ui/main/device_list_model.h"
#include "ui/main/device_list_view.h"
#include "ui/main/device_row_painter.h"
#include "ui/main/main_wnd.h"
#include "unit/inbound/inbound_fixture.h"

namespace {

using namespace std::chrono_literals;
using inbound_test::AckDoc;
using inbound_test::Doc;
using inbound_test::Envelope;
using inbound_test::Received;

// Device A speaks over its first interface (MAC = work MAC), device B over its second.
constexpr uint8_t kMacA[6] = {0x02, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
constexpr uint8_t kWorkMacB[6] = {0x06, 0x00, 0x00, 0x00, 0x00, 0x0B};
const DEVICE_ENTRY_T kDeviceA{"10.0.0.5", "021A2B3C4D5E", "021A2B3C4D5E", "Door", "1-1", "1.0"};
const DEVICE_ENTRY_T kDeviceB{"10.0.0.6", "02000000000B", "06000000000B", "Indoor", "1-2", "1.0"};

// Catches the URLs the view opens.
class UrlCatcher : public QObject {
  Q_OBJECT
public:
  std::vector<QString> urls;
public slots:
  void Open(const QUrl& url) { urls.push_back(url.toString()); }
};

// The view inside a real main window over the process's control core (no capture, no threads):
// packets are collected from the send hook, answers are handed to the core the way its worker
// would, and the waits run on a clock the test steps.
class DeviceInfoViewTest : public testing::Test {
protected:
  void SetUp() override {
    CMainWnd::SetStartupHook([](CMainWnd*) {});
    OutboundHooks hooks;
    hooks.send = [this](const PACKET_RECORD_T* p) { sent.push_back(*p); };
    SetOutboundHooks(hooks);
    CDeviceInfoView::SetWaitClockForTesting(&clock);
    boxes = std::make_unique<uitest::MessageBoxAnswers>();
    CControl::GetInstance()->ClearDevices();
    wnd = std::make_unique<CMainWnd>();
    ASSERT_TRUE(wnd->Create());
    wnd->resize(1180, 740);
    wnd->show();
    view = wnd->GetDeviceInfoView();
    ASSERT_NE(view, nullptr);
    QApplication::processEvents();
    sent.clear();
  }

  void TearDown() override {
    wnd.reset();
    boxes.reset();
    CDeviceInfoView::SetWaitClockForTesting(nullptr);
    CMainWnd::SetStartupHook({});
    SetOutboundHooks({});
    CControl::GetInstance()->ClearDevices();
  }

  template <class T = QLineEdit>
  T* Control(const char* name) const {
    return view->findChild<T*>(QString::fromLatin1(name));
  }
  void Click(const char* name) { ASSERT_TRUE(uitest::ClickControl(wnd.get(), name)) << name; }

  // Opens a device by clicking its row, as the user does.
  void Open(const DEVICE_ENTRY_T& device) {
    CControl::GetInstance()->UpdateDevice(device);
    wnd->RefreshDeviceList();
    CDeviceListModel* model = wnd->GetDeviceListModel();
    for (int row = 0; row < model->Count(); ++row) {
      if (model->RowAt(row)->Device().mac != device.mac) continue;
      CDeviceListView* list = wnd->GetDeviceListView();
      uitest::ClickAt(list->View()->viewport(),
                      list->PartRect(row, CDeviceRowPainter::kModel).center());
      return;
    }
    FAIL() << "no row for " << device.mac;
  }

  void Report(const DEVICE_ENTRY_T& device, const std::vector<std::string>& items) {
    REPORT_CONFIG_T r{};
    for (size_t i = 0; i < items.size(); ++i) Utf8ToField(items[i].c_str(), r.module.szItem[i]);
    CControl::GetInstance()->OnReportConfigMsg(device.mac, device.ip.c_str(), 8500, &r);
    QApplication::processEvents();  // the view takes it over on the UI thread
  }
  void ReportStatic(const DEVICE_ENTRY_T& device, const std::string& ip) {
    Report(device, {"Config.Network.LAN.Type=2", "Config.Status.IP=" + ip,
                    "Config.Status.Gateway=10.0.0.1", "Config.Status.Netmask=255.255.255.0",
                    "Config.Status.PrimaryDNS=8.8.8.8", "Config.Status.SecondaryDNS=8.8.4.4"});
  }

  std::vector<std::string> Elements(const PACKET_RECORD_T& p, const std::string& key,
                                    const std::string& name) {
    const std::string doc = inbound_test::SentDocument(p, key);
    std::vector<std::string> out;
    const std::regex re("<" + name + ">([^<]*)</" + name + ">");
    for (auto it = std::sregex_iterator(doc.begin(), doc.end(), re); it != std::sregex_iterator();
         ++it)
      out.push_back((*it)[1].str());
    return out;
  }
  int MessageId(const PACKET_RECORD_T& p) {
    MsgHeaderInfo info;
    return ReadMsgHeader(p.data, p.nDataLen, &info) ? info.messageId : -1;
  }
  std::vector<PACKET_RECORD_T> SentOf(int id) {
    std::vector<PACKET_RECORD_T> out;
    for (const auto& p : sent)
      if (MessageId(p) == id) out.push_back(p);
    return out;
  }

  // The device answers: its authenticate answer (to the last request) and the acknowledge of an
  // update, each at the first pause after the request left.
  void DeviceAnswers(const DEVICE_ENTRY_T& device, const uint8_t (&frameMac)[6], int authResult,
                     const char* ackResult) {
    clock.SetPauseHook([=, this](std::chrono::milliseconds) {
      // Every wait of the view shows its busy bar.
      if (auto* bar = view->findChild<QWidget*>("bar_busy"); bar && bar->isVisible()) ++busyPauses;
      CControl* control = CControl::GetInstance();
      if (!sent.empty() && MessageId(sent.back()) == MSG_AUTHENTICATE) {
        const std::string uuid = Elements(sent.back(), device.mac, "UUID").at(0);
        const PACKET_RECORD_T r = Received(
            MSG_AUTHENTICATE_ACK,
            Doc("<Result>" + std::to_string(authResult) + "</Result><UUID>" + uuid + "</UUID>"),
            device.mac, Envelope::kBare, frameMac);
        control->OnSocketMsg(&r);
      }
      if (ackResult && !sent.empty() && MessageId(sent.back()) == MSG_UPDATE_CONFIG) {
        const PACKET_RECORD_T r =
            Received(MSG_FROM_DEVICE_ACK, AckDoc(ackResult), device.mac, Envelope::kBare, frameMac);
        control->OnSocketMsg(&r);
      }
    });
  }

  void SetCredentials(const char* user, const char* password) {
    Control("edit_user_name")->setText(QString::fromLatin1(user));
    Control("edit_password")->setText(QString::fromLatin1(password));
  }

  std::unique_ptr<CMainWnd> wnd;
  CDeviceInfoView* view = nullptr;
  CManualOpClock clock;
  std::vector<PACKET_RECORD_T> sent;
  std::unique_ptr<uitest::MessageBoxAnswers> boxes;
  int busyPauses = 0;

  // The web addresses the Browse button opens.
  std::vector<QString> Browse() {
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("http", &catcher, "Open");
    Click("btn_browse");
    QDesktopServices::unsetUrlHandler("http");
    return catcher.urls;
  }
};

TEST_F(DeviceInfoViewTest, OpeningADeviceResetsTheFieldsAndRequestsByItsInterface) {
  EXPECT_FALSE(view->isVisible());
  for (const DEVICE_ENTRY_T& device : {kDeviceA, kDeviceB}) {
    SCOPED_TRACE(device.mac);
    sent.clear();
    Open(device);
    EXPECT_TRUE(view->isVisible());
    EXPECT_EQ(Control("edit_ip")->text(), "Obtaining lP address...");
    EXPECT_EQ(Control("edit_gateway")->text(), "");
    EXPECT_FALSE(Control<QAbstractButton>("checkbox_dhcp")->isChecked());
    EXPECT_TRUE(Control("edit_ip")->isEnabled());
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(std::u16string(sent[0].szIP), CGlobalUtils::ToWide(device.ip));
    const char* type =
        device.mac == device.workMac ? "Config.Network.LAN.Type" : "Config.Network.WLAN.Type";
    EXPECT_EQ(Elements(sent[0], device.mac, "Item").at(0), type);
  }
  // The same device again changes nothing and sends nothing.
  sent.clear();
  Open(kDeviceB);
  EXPECT_TRUE(sent.empty());
  // The password is masked with U+25CF.
  Control("edit_password")->setText("abc");
  EXPECT_EQ(Control("edit_password")->displayText(), QString(3, QChar(0x25CF)));
}

// A device (or a forger) that sends markup gets it shown as text, never drawn.
TEST_F(DeviceInfoViewTest, TheTitleShowsDeviceTextsAsPlainText) {
  DEVICE_ENTRY_T marked = kDeviceA;
  marked.mac = "<b>02:1a</b><img src=x>";
  marked.model = "<i>DS</i>";
  Open(marked);
  QLabel* title = Control<QLabel>("lab_device_title");
  ASSERT_NE(title, nullptr);
  EXPECT_EQ(title->textFormat(), Qt::PlainText);
  EXPECT_EQ(title->text(), QString::fromStdString(marked.mac));
  // The tooltip is rich text whatever one does; its content arrives escaped.
  EXPECT_TRUE(title->toolTip().contains(QStringLiteral("&lt;i&gt;DS&lt;/i&gt;")));
  EXPECT_FALSE(title->toolTip().contains(QStringLiteral("<i>")));
}

TEST_F(DeviceInfoViewTest, ReportsFillUneditedFieldsOnlyAndMoveTheReportedValues) {
  Open(kDeviceA);
  ReportStatic(kDeviceA, "10.0.0.5");
  EXPECT_EQ(Control("edit_ip")->text(), "10.0.0.5");
  EXPECT_EQ(Control("edit_secondary_dns")->text(), "8.8.4.4");

  // Reports of another device, and any report while the view is hidden, are ignored.
  ReportStatic(kDeviceB, "10.9.9.9");
  EXPECT_EQ(Control("edit_ip")->text(), "10.0.0.5");
  Click("btn_hide");
  EXPECT_FALSE(view->isVisible());
  ReportStatic(kDeviceA, "10.9.9.9");
  view->setVisible(true);
  EXPECT_EQ(Control("edit_ip")->text(), "10.0.0.5");

  // A typed field keeps its text while the reported value moves on; Browse uses the reported
  // address, and later requests go there too.
  Control("edit_ip")->setText("10.0.0.50");
  ReportStatic(kDeviceA, "10.0.0.7");
  EXPECT_EQ(Control("edit_ip")->text(), "10.0.0.50");
  EXPECT_EQ(Control("edit_gateway")->text(), "10.0.0.1");
  EXPECT_EQ(Browse(), std::vector<QString>{"http://10.0.0.7/"});
  EXPECT_EQ(view->GetDeviceInfo().ip, "10.0.0.7");
  // Once the text equals the reported value again, refreshing resumes.
  Control("edit_ip")->setText("10.0.0.7");
  ReportStatic(kDeviceA, "10.0.0.8");
  EXPECT_EQ(Control("edit_ip")->text(), "10.0.0.8");
}

TEST_F(DeviceInfoViewTest, DhcpCheckboxFollowsReportsUnlessTheUserChangedIt) {
  Open(kDeviceA);
  auto* dhcp = Control<QAbstractButton>("checkbox_dhcp");
  Report(kDeviceA, {"Config.Network.LAN.Type=0"});
  EXPECT_TRUE(dhcp->isChecked());
  EXPECT_FALSE(Control("edit_ip")->isEnabled());
  Report(kDeviceA, {"Config.Network.LAN.Type=2"});
  EXPECT_FALSE(dhcp->isChecked());
  EXPECT_TRUE(Control("edit_ip")->isEnabled());
  dhcp->click();  // the user asks for DHCP: a static report leaves the box as it is
  Report(kDeviceA, {"Config.Network.LAN.Type=2"});
  EXPECT_TRUE(dhcp->isChecked());
}

TEST_F(DeviceInfoViewTest, UpdateSendsTheItemsAndReportsTheAcknowledge) {
  Open(kDeviceA);
  ReportStatic(kDeviceA, "10.0.0.5");
  SetCredentials("admin", "secret");
  Control("edit_ip")->setText("10.0.0.77");
  Control("edit_secondary_dns")->clear();

  // Static: six items in order, the empty secondary DNS sent empty. "ok" is not "OK".
  DeviceAnswers(kDeviceA, kMacA, 0, "ok");
  boxes->Queue(IDYES, "Are you sure you want to update this device?");
  boxes->Queue(IDOK, "Setting device configurations failed.");
  sent.clear();
  Click("btn_update");
  const auto auth = SentOf(MSG_AUTHENTICATE);
  ASSERT_EQ(auth.size(), 1u);
  EXPECT_EQ(Elements(auth[0], kDeviceA.mac, "Pwd"), std::vector<std::string>{"secret"});
  const auto updates = SentOf(MSG_UPDATE_CONFIG);
  ASSERT_EQ(updates.size(), 1u);
  EXPECT_EQ(Elements(updates[0], kDeviceA.mac, "Item"),
            (std::vector<std::string>{
                "Config.Network.LAN.Type=2", "Config.Network.LAN.StaticIP=10.0.0.77",
                "Config.Network.LAN.DefaultGateway=10.0.0.1",
                "Config.Network.LAN.SubnetMask=255.255.255.0",
                "Config.Network.LAN.PrimaryDNS=8.8.8.8", "Config.Network.LAN.SecondaryDNS="}));
  EXPECT_TRUE(view->isVisible());

  // DHCP: one item and no address check (the IP field holds garbage). "OK" hides the view.
  Control<QAbstractButton>("checkbox_dhcp")->click();
  Control("edit_ip")->setText("garbage");
  DeviceAnswers(kDeviceA, kMacA, 0, "OK");
  boxes->Queue(IDYES);
  sent.clear();
  Click("btn_update");
  ASSERT_NE(CurrentWindowNote(view), nullptr);  // the success is a note, not a box
  EXPECT_TRUE(
      CurrentWindowNote(view)->text().startsWith("Setting device configurations succeeded."));
  ASSERT_EQ(SentOf(MSG_UPDATE_CONFIG).size(), 1u);
  EXPECT_EQ(Elements(SentOf(MSG_UPDATE_CONFIG)[0], kDeviceA.mac, "Item"),
            std::vector<std::string>{"Config.Network.LAN.Type=0"});
  EXPECT_FALSE(view->isVisible());
}

TEST_F(DeviceInfoViewTest, RefusalsStopBeforeTheUpdate) {
  Open(kDeviceB);
  ReportStatic(kDeviceB, "10.0.0.6");
  const auto start = clock.Now();

  // Empty credentials: nothing is sent at all.
  for (auto [user, password] : {std::pair{"", "pw"}, std::pair{"admin", ""}}) {
    SetCredentials(user, password);
    boxes->Queue(IDOK, "User or password can not be empty.");
    sent.clear();
    Click("btn_update");
    EXPECT_TRUE(sent.empty());
  }
  EXPECT_EQ(clock.Now(), start);

  // Wrong password.
  SetCredentials("admin", "wrong");
  DeviceAnswers(kDeviceB, kWorkMacB, -1, nullptr);
  boxes->Queue(IDOK, "User or password incorrect.");
  Click("btn_update");

  // The checks stop at the first bad field: a bad IP and a bad gateway give only the IP's text.
  DeviceAnswers(kDeviceB, kWorkMacB, 0, "OK");
  Control("edit_ip")->setText("1.2.3");
  Control("edit_gateway")->setText("1.2.3.400");
  boxes->Queue(IDOK, "Invalid IP Address.");
  sent.clear();
  Click("btn_update");
  Control("edit_ip")->setText("10.0.0.60");
  boxes->Queue(IDOK, "Invalid Gateway.");
  Click("btn_update");
  Control("edit_gateway")->setText("10.0.0.1");
  Control("edit_primary_dns")->clear();
  boxes->Queue(IDOK, "Invalid Primary DNS.");
  Click("btn_update");
  // Declining the confirmation sends nothing either.
  Control("edit_primary_dns")->setText("8.8.8.8");
  boxes->Queue(IDNO, "Are you sure you want to update this device?");
  Click("btn_update");
  EXPECT_TRUE(SentOf(MSG_UPDATE_CONFIG).empty());
  EXPECT_EQ(boxes->Shown().front().title, "IP Scanner");
  EXPECT_EQ(boxes->Shown()[3].title, "Setting Device Error");
}

TEST_F(DeviceInfoViewTest, ALateAuthenticateAnswerIsIgnored) {
  Open(kDeviceA);
  ReportStatic(kDeviceA, "10.0.0.5");
  SetCredentials("admin", "secret");
  clock.SetPauseHook(nullptr);  // the device stays silent
  boxes->Queue(IDOK, "The device did not answer.");
  sent.clear();
  const auto start = clock.Now();
  Click("btn_reboot");
  EXPECT_EQ(clock.Now() - start, 5000ms);
  const std::string late = Elements(SentOf(MSG_AUTHENTICATE).at(0), kDeviceA.mac, "UUID").at(0);

  // Its acceptance arrives during the next attempt: it counts for nothing.
  clock.SetPauseHook([&](std::chrono::milliseconds) {
    const PACKET_RECORD_T r =
        Received(MSG_AUTHENTICATE_ACK, Doc("<Result>0</Result><UUID>" + late + "</UUID>"),
                 kDeviceA.mac, Envelope::kBare, kMacA);
    CControl::GetInstance()->OnSocketMsg(&r);
  });
  boxes->Queue(IDOK, "The device did not answer.");
  Click("btn_reboot");
  EXPECT_TRUE(SentOf(MSG_REMOTE_CONTROL).empty());
}

TEST_F(DeviceInfoViewTest, RebootAndResetSendTheirCommandAndPause) {
  const struct {
    const char* button;
    const char* caption;
    const char* question;
    const char* command;
    const char* done;
  } cases[] = {
      {"btn_reboot", "Reboot", "Are you sure you want to reboot this device?", "Reboot",
       "The device is restarting."},
      {"btn_reset", "Reset", "Are you sure you want to reset this device?", "ResetToFactory",
       "The device is restarting with its factory settings."},
  };
  Open(kDeviceA);
  SetCredentials("admin", "secret");
  DeviceAnswers(kDeviceA, kMacA, 0, nullptr);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.button);
    sent.clear();
    boxes->Queue(IDYES, c.question);
    std::vector<DEVICE_ENTRY_T> restarting;
    auto watch = QObject::connect(view, &CDeviceInfoView::DeviceRestarting,
                                  [&](const DEVICE_ENTRY_T& d) { restarting.push_back(d); });
    const auto start = clock.Now();
    Click(c.button);
    QObject::disconnect(watch);
    EXPECT_EQ(clock.Now() - start, 10ms + 500ms);  // the answer at the first poll, then the pause
    const auto remote = SentOf(MSG_REMOTE_CONTROL);
    ASSERT_EQ(remote.size(), 1u);
    EXPECT_EQ(Elements(remote[0], kDeviceA.mac, "Type"), std::vector<std::string>{c.command});
    EXPECT_EQ(boxes->Shown().back().title, c.caption);
    // The question names the device; the outcome is a note, and the list hears of the restart.
    EXPECT_TRUE(
        boxes->Shown().back().text.contains("Model: " + QString::fromStdString(kDeviceA.model)));
    EXPECT_TRUE(
        boxes->Shown().back().text.contains("IP Address: " + QString::fromStdString(kDeviceA.ip)));
    ASSERT_NE(CurrentWindowNote(view), nullptr);
    EXPECT_TRUE(CurrentWindowNote(view)->text().startsWith(c.done));
    ASSERT_EQ(restarting.size(), 1u);
    EXPECT_EQ(restarting[0].mac, kDeviceA.mac);
    EXPECT_TRUE(view->isVisible());
    EXPECT_GT(busyPauses, 0);
    EXPECT_FALSE(view->findChild<QWidget*>("bar_busy")->isVisible());  // gone after the wait
    busyPauses = 0;
  }
}

TEST_F(DeviceInfoViewTest, BeforeTheFirstReportBrowseUsesTheListsAddressAndTheTitleNamesTheDevice) {
  Open(kDeviceA);
  ASSERT_EQ(Control("edit_ip")->text(), "Obtaining lP address...");
  EXPECT_EQ(Browse(), std::vector<QString>{"http://10.0.0.5/"});

  // The MAC in the window's one spelling, with model, room and firmware under it, as plain text.
  EXPECT_EQ(uitest::ReadLabel(view, "lab_device_title"), "02:1A:2B:3C:4D:5E");
  auto* details = view->findChild<QLabel*>("lab_device_details");
  ASSERT_NE(details, nullptr);
  EXPECT_EQ(details->text(), QString::fromUtf8("Door  \u00B7  1-1  \u00B7  1.0"));
  EXPECT_EQ(details->textFormat(), Qt::PlainText);
}

TEST_F(DeviceInfoViewTest, FollowsADeviceToItsNewAddressAndForgetsItOnRefresh) {
  Open(kDeviceA);
  ReportStatic(kDeviceA, "10.0.0.5");
  Control("edit_gateway")->setText("10.0.0.254");  // typed, not yet sent

  // The device now answers at another address; the refreshed row opens it there.
  DEVICE_ENTRY_T moved = kDeviceA;
  moved.ip = "10.0.0.99";
  sent.clear();
  Open(moved);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(std::u16string(sent[0].szIP), u"10.0.0.99");
  EXPECT_EQ(view->GetDeviceInfo().ip, "10.0.0.99");
  EXPECT_EQ(Control("edit_gateway")->text(), "10.0.0.254");  // the edit state stays
  EXPECT_EQ(Control("edit_ip")->text(), "10.0.0.5");

  // Refresh hides the view and makes it forget the device: opening it again starts afresh.
  Click("btn_refresh");
  EXPECT_FALSE(view->isVisible());
  EXPECT_EQ(view->GetDeviceInfo(), DEVICE_ENTRY_T{});
  Open(moved);
  EXPECT_EQ(Control("edit_ip")->text(), "Obtaining lP address...");
  EXPECT_EQ(Control("edit_gateway")->text(), "");
}

TEST_F(DeviceInfoViewTest, RefreshesEveryTickWhileVisibleAndTheMainWindowShowsAndHidesIt) {
  CControl::GetInstance()->UpdateDevice(kDeviceB);
  CControl::GetInstance()->UpdateDevice(kDeviceA);
  wnd->RefreshDeviceList();
  // No row selected: the first row (IP order) is shown.
  Click("btn_show_device_info");
  EXPECT_TRUE(view->isVisible());
  EXPECT_EQ(view->GetDeviceInfo().mac, kDeviceA.mac);

  // Timer 1 of the view itself sends a request while the view is visible; nothing else does.
  const struct {
    QWidget* sender;
    int id;
    bool visible;
    size_t requests;
  } ticks[] = {
      {view, 1, true, 1}, {view, 2, true, 0}, {wnd.get(), 1, true, 0}, {view, 1, false, 0}};
  for (const auto& t : ticks) {
    view->setVisible(t.visible);
    sent.clear();
    wnd->GetManager()->SendNotify(t.sender, QStringLiteral("timer"), t.id);
    // (the main window answers timer 2 of any sender with a discovery)
    EXPECT_EQ(SentOf(MSG_REQUEST_CONFIG).size(), t.requests)
        << t.id << (t.visible ? " visible" : " hidden");
  }

  // Search and a model choice hide it.
  view->setVisible(true);
  Click("btn_search");
  EXPECT_FALSE(view->isVisible());
  Click("btn_show_device_info");
  ASSERT_TRUE(view->isVisible());
  wnd->GetManager()->SendNotify(wnd->FindControl<QWidget>(QStringLiteral("combo_model")),
                                QStringLiteral("itemselect"), 0, 0);
  EXPECT_FALSE(view->isVisible());
}

TEST_F(DeviceInfoViewTest, TheViewLeavesNoCallbackBehind) {
  Open(kDeviceA);
  EXPECT_TRUE(CControl::GetInstance()->GetAuthenticateCallback());
  wnd.reset();
  EXPECT_FALSE(CControl::GetInstance()->GetAuthenticateCallback());
  // Reports and answers after the view is gone reach nobody.
  REPORT_CONFIG_T r{};
  Utf8ToField("Config.Status.IP=1.2.3.4", r.module.szItem[0]);
  EXPECT_EQ(CControl::GetInstance()->OnReportConfigMsg(kDeviceA.mac, "10.0.0.5", 8500, &r), 0);
  QApplication::processEvents();
}

}  // namespace

#include "device_info_view_test.moc"
