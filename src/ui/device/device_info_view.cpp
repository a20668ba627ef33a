#include "ui/device/device_info_view.h"

#include <QAbstractButton>
#include <QApplication>
#include <QBoxLayout>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QStringList>
#include <QUrl>
#include <string_view>

#include "core/common/mac_text.h"
#include "core/control/control.h"
#include "core/device/authenticate_dispatcher.h"
#include "core/device/device_config_keys.h"
#include "core/device/device_operations.h"
#include "core/device/network_input_check.h"
#include "record/site_operation_log.h"
#include "record/site_operation_results.h"
#include "shell/secure_wipe.h"
#include "ui/device/device_summary.h"
#include "ui/framework/message_box.h"
#include "ui/framework/notify_hub.h"
#include "ui/framework/plain_text.h"
#include "ui/framework/product_name.h"
#include "ui/framework/translate_manager.h"
#include "ui/framework/ui_thread.h"
#include "ui/framework/ui_wait_clock.h"
#include "ui/framework/window_note.h"

namespace {

constexpr int kTimerRefresh = 1;
constexpr int kRefreshPeriodMs = 3000;
constexpr char16_t kPasswordMask = u'\u25CF';
constexpr const char* kAppCaption = kProductName;
constexpr const char* kObtainingIp = "Obtaining lP address...";
constexpr const char* kTypeStatic = device_config::kTypeStatic;

IOpClock* g_testClock = nullptr;

QString Text(const QLineEdit* edit) { return edit ? edit->text() : QString(); }

}  // namespace

struct CDeviceInfoView::RemoteCommand {
  const char* caption;   // of the confirmation
  const char* question;  // Yes/No confirmation
  const char* command;   // szType of the request
  const char* logName;
  const char* done;  // the note after the pause: the device restarts
};

// While the view waits for a device (its answer to the password, an acknowledge, the pause after
// a command), the panel shows a running bar and the pointer a busy cursor; the window keeps
// painting meanwhile.
class CDeviceInfoView::BusyMark {
public:
  explicit BusyMark(CDeviceInfoView* view) : m_bar(view->m_pBusyBar) {
    if (m_bar) m_bar->show();
    QApplication::setOverrideCursor(Qt::BusyCursor);
  }
  ~BusyMark() {
    QApplication::restoreOverrideCursor();
    if (m_bar) m_bar->hide();
  }
  BusyMark(const BusyMark&) = delete;
  BusyMark& operator=(const BusyMark&) = delete;

private:
  QPointer<QProgressBar> m_bar;
};

IPS_BEGIN_MESSAGE_MAP(CDeviceInfoView, CBaseView)
IPS_ON_MSGTYPE("timer", OnTimer)
IPS_ON_CLICK("btn_hide", OnBtnHideClicked)
IPS_ON_CLICK("btn_update", OnBtnUpdateClicked)
IPS_ON_CLICK("btn_browse", OnBtnBrowseClicked)
IPS_ON_CLICK("btn_reboot", OnBtnRebootClicked)
IPS_ON_CLICK("btn_reset", OnBtnResetClicked)
IPS_ON_SELECTCHANGED("checkbox_dhcp", OnDhcpSelectChanged)
IPS_END_MESSAGE_MAP()

CDeviceInfoView::CDeviceInfoView(QWidget* parent) : CBaseView(parent) {
  setObjectName(QStringLiteral("layout_device_info"));
  LoadLayout(QStringLiteral("DeviceInfoView.xml"));  // stays empty when the skin lacks it
  // The core keeps one authenticate callback; the dispatcher installs it and removes it again
  // when the view goes.
  m_authWaits = std::make_unique<CAuthenticateDispatcher>(*CControl::GetInstance());
  CControl::GetInstance()->AddNotify(this);
}

CDeviceInfoView::~CDeviceInfoView() {
  // After this no worker thread calls the view; reports it already handed over are dropped
  // with the object.
  CControl::GetInstance()->RemoveNotify(this);
  m_authWaits.reset();
}

void CDeviceInfoView::SetWaitClockForTesting(IOpClock* clock) { g_testClock = clock; }

IOpClock& CDeviceInfoView::WaitClock() {
  if (g_testClock) return *g_testClock;
  if (!m_uiClock) m_uiClock = std::make_unique<CUiWaitClock>();
  return *m_uiClock;
}

void CDeviceInfoView::DoInit() {
  m_pCheckDhcp = FindControl<QAbstractButton>(QStringLiteral("checkbox_dhcp"));
  m_pEditIp = FindControl<QLineEdit>(QStringLiteral("edit_ip"));
  m_pEditGateway = FindControl<QLineEdit>(QStringLiteral("edit_gateway"));
  m_pEditSubnetMask = FindControl<QLineEdit>(QStringLiteral("edit_subnet_mask"));
  m_pEditPrimaryDns = FindControl<QLineEdit>(QStringLiteral("edit_primary_dns"));
  m_pEditSecondaryDns = FindControl<QLineEdit>(QStringLiteral("edit_secondary_dns"));
  m_pEditUserName = FindControl<QLineEdit>(QStringLiteral("edit_user_name"));
  m_pEditPassword = FindControl<QLineEdit>(QStringLiteral("edit_password"));
  m_pLabelDevice = FindControl<QLabel>(QStringLiteral("lab_device_title"));
  // A thin running bar under the panel's head, shown only while the view waits.
  QWidget* head = FindControl<QWidget>(QStringLiteral("layout_view_head"));
  auto* column = head ? qobject_cast<QBoxLayout*>(head->parentWidget()->layout()) : nullptr;
  if (column && !m_pBusyBar) {
    m_pBusyBar = new QProgressBar(head->parentWidget());
    m_pBusyBar->setObjectName(QStringLiteral("bar_busy"));
    m_pBusyBar->setRange(0, 0);
    m_pBusyBar->setTextVisible(false);
    m_pBusyBar->setFixedHeight(4);
    m_pBusyBar->hide();
    column->insertWidget(column->indexOf(head) + 1, m_pBusyBar);
  }
  if (m_pEditPassword) {
    m_pEditPassword->setEchoMode(QLineEdit::Password);
    m_pEditPassword->setStyleSheet(
        m_pEditPassword->styleSheet() +
        QStringLiteral("\nQLineEdit { lineedit-password-character: %1; }")
            .arg(static_cast<int>(kPasswordMask)));
  }
  if (CNotifyHub* hub = GetManager()) hub->SetTimer(this, kTimerRefresh, kRefreshPeriodMs);
}

int CDeviceInfoView::Ask(const char* title, const char* text, int buttons) {
  return ShowMessageBox(window(), QString::fromUtf8(title), QString::fromUtf8(text), buttons);
}

int CDeviceInfoView::AskAboutDevice(const char* title, const char* question) {
  return ShowMessageBox(window(), QString::fromUtf8(title),
                        QuestionAboutDevice(QString::fromUtf8(question), m_device), MB_YESNO);
}

void CDeviceInfoView::SendConfigRequest() {
  device_ops::RequestConfig(*CControl::GetInstance(), m_device);
}

void CDeviceInfoView::ShowDeviceTitle() {
  if (!m_pLabelDevice) return;
  // The MAC names the device, with model, room and firmware under it; the address goes to the
  // tooltip. Device texts, so plain text whatever they hold.
  SetPlainLabelText(m_pLabelDevice, QString::fromStdString(DisplayMacText(m_device.mac)));
  if (auto* details = FindControl<QLabel>(QStringLiteral("lab_device_details"))) {
    QStringList parts;
    for (const std::string* text : {&m_device.model, &m_device.deviceId, &m_device.firmware}) {
      if (!text->empty()) parts << QString::fromStdString(*text);
    }
    details->setTextFormat(Qt::PlainText);
    details->setText(parts.join(QStringLiteral("  \u00B7  ")));
    details->setToolTip(details->text());
  }
  QStringList details;
  for (const std::string* text : {&m_device.model, &m_device.ip}) {
    if (!text->empty()) details << QString::fromStdString(*text);
  }
  SetPlainToolTip(m_pLabelDevice, details.join(QStringLiteral("  \u00B7  ")));
}

void CDeviceInfoView::SetDeviceInfo(const DEVICE_ENTRY_T& device) {
  if (device.mac == m_device.mac) {
    // The same device. When it answers at another address now (its own update, a DHCP lease,
    // another tool), follow it there: requests to the old address would go unanswered and a
    // healthy device would look broken. What the fields show and the user typed stays.
    if (device.ip == m_device.ip && device.workMac == m_device.workMac) return;
    m_device = device;
    ShowDeviceTitle();
    SendConfigRequest();
    return;
  }
  m_device = device;
  if (m_pCheckDhcp) {
    m_pCheckDhcp->setChecked(false);
    TNotifyMsg msg;
    OnDhcpSelectChanged(msg);  // also when it was unchecked already
    SetUserData(m_pCheckDhcp, QString::fromLatin1(kTypeStatic));
  }
  const QString obtaining = TrText(QString::fromLatin1(kObtainingIp));
  if (m_pEditIp) {
    m_pEditIp->setText(obtaining);
    SetUserData(m_pEditIp, obtaining);
  }
  for (QLineEdit* edit :
       {m_pEditGateway, m_pEditSubnetMask, m_pEditPrimaryDns, m_pEditSecondaryDns}) {
    if (!edit) continue;
    edit->clear();
    SetUserData(edit, QString());
  }
  ShowDeviceTitle();
  SendConfigRequest();
}

void CDeviceInfoView::OnTimer(TNotifyMsg& msg) {
  if (msg.pSender != this || isHidden() || msg.wParam != kTimerRefresh) return;
  SendConfigRequest();
}

void CDeviceInfoView::OnReportConfig(std::string deviceKey, std::string, int,
                                     const std::vector<std::string>* items) {
  // Worker thread, notify lock held: copy and hand over, never wait for the UI thread.
  std::vector<std::string> copy = items ? *items : std::vector<std::string>{};
  PostToUiThread(this, [this, key = std::move(deviceKey), copy = std::move(copy)] {
    if (key != m_device.mac || isHidden()) return;
    ShowDeviceConfig(device_config::ParseReportItems(copy));
  });
}

void CDeviceInfoView::ShowDeviceConfig(const std::map<std::string, std::string>& config) {
  if (m_pCheckDhcp) {
    const std::string type = device_config::ReportedType(config);
    const bool reportedDhcp = type == device_config::kTypeDhcp;
    const bool userData0 = GetUserData(m_pCheckDhcp) == QLatin1String(device_config::kTypeDhcp);
    // Not changed by the user: checked exactly when the last reported type was DHCP.
    if (m_pCheckDhcp->isChecked() == userData0) m_pCheckDhcp->setChecked(reportedDhcp);
    if (!type.empty()) SetUserData(m_pCheckDhcp, QString::fromStdString(type));
  }
  const struct {
    const char* key;
    QLineEdit* edit;
  } pairs[] = {
      {device_config::kStatusIp, m_pEditIp},
      {device_config::kStatusGateway, m_pEditGateway},
      {device_config::kStatusNetmask, m_pEditSubnetMask},
      {device_config::kStatusPrimaryDns, m_pEditPrimaryDns},
      {device_config::kStatusSecondaryDns, m_pEditSecondaryDns},
  };
  for (const auto& pair : pairs) {
    auto it = config.find(pair.key);
    if (it == config.end() || !pair.edit) continue;
    const QString value = QString::fromStdString(it->second);
    // A field the user typed into keeps the typed text; its user data still moves on.
    if (GetUserData(pair.edit) == pair.edit->text() && value != pair.edit->text())
      pair.edit->setText(value);
    SetUserData(pair.edit, value);
    if (std::string_view(pair.key) == device_config::kStatusIp) m_device.ip = it->second;
  }
}

void CDeviceInfoView::OnDhcpSelectChanged(TNotifyMsg&) {
  if (!m_pCheckDhcp) return;
  const bool manual = !m_pCheckDhcp->isChecked();
  for (QLineEdit* edit :
       {m_pEditIp, m_pEditSubnetMask, m_pEditGateway, m_pEditPrimaryDns, m_pEditSecondaryDns}) {
    if (edit) edit->setEnabled(manual);
  }
}

device_ops::AuthOutcome CDeviceInfoView::VerifyUserAndPassword(const std::string& user,
                                                               const std::string& password) {
  BusyMark busy(this);
  return device_ops::Authenticate(*m_authWaits, WaitClock(), m_device, user, password,
                                  "CDeviceInfoView::VerifyUserAndPassword");
}

bool CDeviceInfoView::CheckCredentials() {
  const QString user = Text(m_pEditUserName);
  const QString password = Text(m_pEditPassword);
  if (user.isEmpty() || password.isEmpty()) {
    Ask(kAppCaption, "User or password can not be empty.", MB_OK);
    return false;
  }
  std::string plain = password.toStdString();
  const device_ops::AuthOutcome outcome = VerifyUserAndPassword(user.toStdString(), plain);
  SecureWipe(plain);
  switch (outcome) {
    case device_ops::AuthOutcome::kAccepted:
      return true;
    case device_ops::AuthOutcome::kNoAnswer:
      // Silence is not a refusal: the installer must not start doubting a correct password.
      Ask(kAppCaption, "The device did not answer.", MB_OK);
      return false;
    default:
      Ask(kAppCaption, "User or password incorrect.", MB_OK);
      return false;
  }
}

bool CDeviceInfoView::CheckNetworkInput() {
  auto field = [](const QLineEdit* edit) {
    return NetworkFieldInput{edit && edit->isEnabled(), Text(edit).toStdString()};
  };
  const NetworkInput input{field(m_pEditIp), field(m_pEditGateway), field(m_pEditSubnetMask),
                           field(m_pEditPrimaryDns), field(m_pEditSecondaryDns)};
  const std::optional<NetworkField> bad = FirstInvalidField(input);
  if (!bad) return true;
  Ask("Setting Device Error", InvalidFieldText(*bad), MB_OK);
  return false;
}

void CDeviceInfoView::OnBtnUpdateClicked(TNotifyMsg&) {
  if (!CheckCredentials()) return;
  if (!CheckNetworkInput()) return;
  if (AskAboutDevice("Update", "Are you sure you want to update this device?") != IDYES) return;

  device_config::NetworkSettings settings;
  settings.dhcp = m_pCheckDhcp && m_pCheckDhcp->isChecked();
  settings.ip = Text(m_pEditIp).toStdString();
  settings.gateway = Text(m_pEditGateway).toStdString();
  settings.subnetMask = Text(m_pEditSubnetMask).toStdString();
  settings.primaryDns = Text(m_pEditPrimaryDns).toStdString();
  settings.secondaryDns = Text(m_pEditSecondaryDns).toStdString();
  CONFIG_MODULE_T items;
  device_config::FillUpdateItems(m_device, settings, &items);

  BusyMark busy(this);
  const device_ops::UpdateResult result =
      device_ops::UpdateConfig(*CControl::GetInstance(), WaitClock(), m_device, items,
                               "CDeviceInfoView::OnBtnUpdateClicked");
  if (result.outcome == device_ops::UpdateOutcome::kNotBuilt) return;  // logged
  std::map<std::string, std::string> parameters{{"addressing", settings.dhcp ? "dhcp" : "static"},
                                                {"user", Text(m_pEditUserName).toStdString()}};
  if (!settings.dhcp) {
    parameters.insert({{"ip", settings.ip},
                       {"gateway", settings.gateway},
                       {"mask", settings.subnetMask},
                       {"dns1", settings.primaryDns},
                       {"dns2", settings.secondaryDns}});
  }
  const bool succeeded = result.outcome == device_ops::UpdateOutcome::kSucceeded;
  RecordSiteOperation(DeviceOperation(ESiteOperation::kSet, m_device.mac, succeeded,
                                      succeeded ? ""
                                      : result.outcome == device_ops::UpdateOutcome::kAckNotOk
                                          ? "acknowledge not OK: " + result.result
                                          : "no acknowledge",
                                      "window", std::move(parameters)));
  if (!succeeded) {
    Ask("Result", "Setting device configurations failed.", MB_OK);
    return;
  }
  ShowWindowNote(this, QuestionAboutDevice(
                           QStringLiteral("Setting device configurations succeeded."), m_device));
  setVisible(false);
}

void CDeviceInfoView::RunRemoteControl(const RemoteCommand& command) {
  if (!CheckCredentials()) return;
  if (AskAboutDevice(command.caption, command.question) != IDYES) return;
  {
    BusyMark busy(this);
    // Not built or not sent (both logged): the device was not asked, so no success is shown.
    const device_ops::RemoteOutcome outcome =
        device_ops::RemoteControl(WaitClock(), m_device, command.command, command.logName);
    if (outcome != device_ops::RemoteOutcome::kNotBuilt) {
      const bool sent = outcome == device_ops::RemoteOutcome::kSent;
      RecordSiteOperation(DeviceOperation(
          std::string_view(command.command) == device_ops::kCommandReset ? ESiteOperation::kReset
                                                                         : ESiteOperation::kReboot,
          m_device.mac, sent, sent ? "" : "not sent", "window",
          {{"user", Text(m_pEditUserName).toStdString()}}));
    }
    if (outcome != device_ops::RemoteOutcome::kSent) return;
  }
  // No box to wait for: the device is on its way down, and its row says so until it answers.
  ShowWindowNote(this, QuestionAboutDevice(QString::fromLatin1(command.done), m_device));
  emit DeviceRestarting(m_device);
}

void CDeviceInfoView::OnBtnRebootClicked(TNotifyMsg&) {
  RunRemoteControl({"Reboot", "Are you sure you want to reboot this device?",
                    device_ops::kCommandReboot, "CDeviceInfoView::OnBtnRebootClicked",
                    "The device is restarting. Its row shows this until it answers again."});
}

void CDeviceInfoView::OnBtnResetClicked(TNotifyMsg&) {
  RunRemoteControl({"Reset", "Are you sure you want to reset this device?",
                    device_ops::kCommandReset, "CDeviceInfoView::OnBtnResetClicked",
                    "The device is restarting with its factory settings. Its row shows this "
                    "until it answers again."});
}

void CDeviceInfoView::OnBtnBrowseClicked(TNotifyMsg&) {
  if (!m_pEditIp) return;
  // The address the device reported last, never what is typed in the field; before its first
  // report, the address the list knows.
  QString ip = GetUserData(m_pEditIp);
  if (ip.isEmpty() || ip == TrText(QString::fromLatin1(kObtainingIp)))
    ip = QString::fromStdString(m_device.ip);
  if (ip.isEmpty()) return;
  QDesktopServices::openUrl(QUrl(QStringLiteral("http://%1/").arg(ip)));
}

void CDeviceInfoView::OnBtnHideClicked(TNotifyMsg&) { setVisible(false); }
