#include "ui/upgrade/upgrade_dlg.h"

#include <QAbstractButton>
#include <QLabel>
#include <QWidget>

#include "core/common/op_clock.h"
#include "core/control/control.h"
#include "core/upgrade/upgrade_request.h"
#include "record/site_operation_log.h"
#include "record/site_operation_results.h"
#include "shell/log.h"
#include "ui/framework/message_box.h"
#include "ui/framework/plain_text.h"
#include "ui/framework/translate_manager.h"

namespace {
constexpr int kCheckPeriodMs = static_cast<int>(CUpgradeFollower::kCheckPeriod.count());

// The catalog's format text with the version for its one %s (a text without one shows as is).
QString FormatVersion(const QString& format, const QString& version) {
  QString out = format;
  const int at = out.indexOf(QLatin1String("%s"));
  if (at >= 0) out.replace(at, 2, version);
  return out;
}
}  // namespace

CUpgradeDlg::CUpgradeDlg(const DEVICE_ENTRY_T& device, const QString& imageName, QWidget* parent)
    : CBaseDlg(QString(), parent, true),
      m_device(device),
      m_imageName(imageName),
      m_downloads(CDownloadLogWatch::DefaultLogPath(), imageName.toStdString()) {
  const std::string version = ImageVersion(imageName.toStdString());
  m_follower =
      std::make_unique<CUpgradeFollower>(*CControl::GetInstance(), m_device.mac, m_device.workMac,
                                         version, CUpgradeFollower::BootUpScope::kThisDevice);
  CControl::GetInstance()->AddNotify(this);
}

CUpgradeDlg::~CUpgradeDlg() {
  // Once this returns no boot-up callback runs any more (the core calls them under the lock
  // RemoveNotify takes), so the follower may go with the dialog.
  CControl::GetInstance()->RemoveNotify(this);
  if (m_started) RecordResult();
}

void CUpgradeDlg::RecordResult() const {
  static const char* const kStateNames[] = {"closed while running", "completed", "timed out",
                                            "failed"};
  const std::string version = m_follower->ExpectedVersion();
  const int state = m_state >= kStateInProgress && m_state <= kStateFailed ? m_state : kStateFailed;
  RecordSiteOperation(
      DeviceOperation(ESiteOperation::kUpgrade, m_device.mac, m_state == kStateCompleted,
                      std::string(kStateNames[state]) + " " + m_device.firmware + " -> " + version,
                      "window", {{"image", m_imageName.toStdString()}, {"version", version}}));
}

IPS_BEGIN_MESSAGE_MAP(CUpgradeDlg, CBaseDlg)
IPS_ON_MSGTYPE("timer", OnTimer)
IPS_ON_CLICK("btn_ok", OnBtnOkClicked)
IPS_ON_CLICK("btn_cancel", OnBtnCancelClicked)
IPS_ON_CLICK("closebtn", OnBtnCancelClicked)
IPS_END_MESSAGE_MAP()

QString CUpgradeDlg::StateText(int state) {
  switch (state) {
    case kStateInProgress:
      return QStringLiteral("Upgrade in progress. Please wait for about 1 to 5 minutes.");
    case kStateCompleted:
      return QStringLiteral("Upgrade completed.");
    case kStateTimedOut:
      return QStringLiteral("Upgrade failed due to timeout. Please check the device.");
    case kStateFailed:
      return QStringLiteral("Upgrade failed. Please check the device.");
    default:
      return QStringLiteral("Upgrade in progress. Please wait for about 3 to 5 minutes.");
  }
}

void CUpgradeDlg::InitWindow() {
  m_pLabelFirmware = FindControl<QLabel>(QStringLiteral("lab_firmware"));
  m_pLabelDesc = FindControl<QLabel>(QStringLiteral("lab_desc"));
  m_pBtnOk = FindControl<QAbstractButton>(QStringLiteral("btn_ok"));
  m_pBtnCancel = FindControl<QAbstractButton>(QStringLiteral("btn_cancel"));

  const QString version = QString::fromStdString(m_follower->ExpectedVersion());
  if (m_pLabelFirmware && !m_imageName.isEmpty()) {
    const QString key = m_pLabelFirmware->property("text_format").toString();
    m_pLabelFirmware->setText(FormatVersion(TrText(key), version));
    SetUserData(m_pLabelFirmware, version);
  }
  if (auto* device = FindControl<QLabel>(QStringLiteral("lab_device"))) {
    SetPlainLabelText(device, QStringLiteral("%1  (%2)")
                                  .arg(QString::fromStdString(m_device.ip),
                                       QString::fromStdString(m_device.mac)));
  }
  ShowState();

  m_started = true;
  if (SendRequest()) {
    SetTimer(GetRoot(), kCheckTimerId, kCheckPeriodMs);
  } else {
    m_follower->Fail();
    m_state = kStateFailed;
    ShowState();
  }
}

bool CUpgradeDlg::SendRequest() {
  m_resend.Sent(SteadyOpClock().Now());
  return SendUpgradeMsg(m_device, GetUpgradeHost(), m_imageName.toStdString());
}

void CUpgradeDlg::ShowState() {
  if (m_pLabelDesc) m_pLabelDesc->setText(TrText(StateText(m_state)));
  const bool running = m_state == kStateInProgress;
  if (m_pBtnOk) m_pBtnOk->setVisible(!running);
  if (m_pBtnCancel) m_pBtnCancel->setVisible(running);
  if (auto* bar = FindControl<QWidget>(QStringLiteral("bar_busy"))) bar->setVisible(running);
}

void CUpgradeDlg::OnTimer(TNotifyMsg& msg) {
  if (msg.wParam != kCheckTimerId || m_state != kStateInProgress) return;
  m_state = static_cast<int>(m_follower->Check());
  if (m_state != kStateInProgress) KillTimer(GetRoot(), kCheckTimerId);
  ShowState();
  const auto downloadSeen = [this] {
    m_downloads.Poll();
    return m_downloads.Fetched(m_device.ip);
  };
  if (m_state == kStateInProgress && !m_follower->BootUpSeen() &&
      m_resend.Due(SteadyOpClock().Now(), downloadSeen)) {
    // No download yet: the request was most likely lost. The same request again only names the
    // same image; a device that did get it fetches and boots into that version once more at
    // worst.
    LogInfo("CUpgradeDlg: no download from %s (%s), upgrade request sent again (try %d)",
            m_device.mac.c_str(), m_device.ip.c_str(), m_resend.Tries() + 1);
    SendRequest();
  }
}

void CUpgradeDlg::OnDeviceBootUp(const std::string& deviceKey) {
  m_follower->OnDeviceBootUp(deviceKey);
}

void CUpgradeDlg::OnBtnOkClicked(TNotifyMsg&) { Close(IDOK); }

void CUpgradeDlg::OnBtnCancelClicked(TNotifyMsg&) {
  if (m_state == kStateInProgress &&
      ShowMessageBox(this, QStringLiteral("Upgrade"),
                     QStringLiteral("The upgrade may be interrupted. Are you sure you want to "
                                    "close the pop-up window?"),
                     MB_YESNO) != IDYES) {
    return;
  }
  Close(IDCANCEL);
}
