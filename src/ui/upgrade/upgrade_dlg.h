#pragma once

#include <memory>
#include <string>

#include "core/common/device_entry.h"
#include "core/control/control_notify.h"
#include "core/upgrade/download_log_watch.h"
#include "core/upgrade/upgrade_follower.h"
#include "core/upgrade/upgrade_resend.h"
#include "ui/framework/base_dlg.h"

class QAbstractButton;
class QLabel;

// The firmware upgrade of one device ("UpgradeDlg.xml"). Sends the device the address of the
// image on our web server, then looks at the control core's device table every 10 seconds until
// the device shows the image's version (completed), comes back after a boot-up with another one
// (failed) or 91 checks have passed (failed by time-out). A device that shows no download of the
// image in the web server's access log gets the request again (CUpgradeResend).
// Runs over a dimming mask on the main window. Closing it does not stop the upgrade on the
// device.
class CUpgradeDlg : public CBaseDlg, public CControlBaseNotify {
  Q_OBJECT
public:
  enum { kStateInProgress = 0, kStateCompleted = 1, kStateTimedOut = 2, kStateFailed = 3 };
  static constexpr int kCheckTimerId = 1;

  // imageName: the file name (with extension) in the download folder.
  CUpgradeDlg(const DEVICE_ENTRY_T& device, const QString& imageName, QWidget* parent);
  ~CUpgradeDlg() override;

  // The core's worker thread: the booted device leaves the table; any device's boot-up counts.
  void OnDeviceBootUp(const std::string& deviceKey) override;

  int GetState() const { return m_state; }
  // The status text of a state (English, before translation).
  static QString StateText(int state);

protected:
  QString GetLayoutFileName() const override { return QStringLiteral("UpgradeDlg.xml"); }
  void InitWindow() override;
  IPS_DECLARE_MESSAGE_MAP()

private:
  void OnTimer(TNotifyMsg& msg);
  void OnBtnOkClicked(TNotifyMsg&);
  void OnBtnCancelClicked(TNotifyMsg&);
  void ShowState();
  bool SendRequest();
  // Into the site record: the device, how the upgrade ended, its firmware before and the image's.
  void RecordResult() const;

  QLabel* m_pLabelFirmware = nullptr;
  QLabel* m_pLabelDesc = nullptr;
  QAbstractButton* m_pBtnOk = nullptr;
  QAbstractButton* m_pBtnCancel = nullptr;
  DEVICE_ENTRY_T m_device;
  QString m_imageName;
  int m_state = kStateInProgress;
  bool m_started = false;  // the request went out (or failed to): the result is recorded at the end
  // Ticks and the boot-up flag; the flag is written by the core's worker thread.
  std::unique_ptr<CUpgradeFollower> m_follower;
  CDownloadLogWatch m_downloads;
  CUpgradeResend m_resend;
};
