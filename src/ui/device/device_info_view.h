#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/common/device_entry.h"
#include "core/control/control_notify.h"
#include "core/device/device_operations.h"
#include "ui/framework/base_view.h"

class CAuthenticateDispatcher;
class IOpClock;
class QAbstractButton;
class QLabel;
class QProgressBar;
class QLineEdit;

// The panel beside the device list that shows one device's network settings ("DeviceInfoView.xml")
// and changes them: DHCP or a static address, reboot, factory reset, the device's web page.
// While visible it asks the device for its configuration every 3 seconds and shows the answers
// in every field the user has not edited (a field counts as edited while its text differs from
// its user data, the last reported value). Every change is guarded by the device's web user
// name and password, checked with the device before anything is confirmed.
class CDeviceInfoView : public CBaseView, public CControlBaseNotify {
  Q_OBJECT
public:
  explicit CDeviceInfoView(QWidget* parent = nullptr);
  ~CDeviceInfoView() override;

  void DoInit() override;

  // Shows this device. The same MAC text keeps the fields as they are; when that device now has
  // another IP or work MAC (it changed its address), the view follows it to the new address.
  void SetDeviceInfo(const DEVICE_ENTRY_T& device);
  const DEVICE_ENTRY_T& GetDeviceInfo() const { return m_device; }
  // The authenticate answers' dispatcher (the core keeps one for the process): batch operations
  // of the window authenticate through it too.
  CAuthenticateDispatcher& AuthWaits() const { return *m_authWaits; }

  // Called on the control core's worker thread; the fields change on the UI thread.
  void OnReportConfig(std::string deviceKey, std::string ip, int port,
                      const std::vector<std::string>* items) override;

  // Test seam: the clock the waits run on (null restores the window's own clock).
  static void SetWaitClockForTesting(IOpClock* clock);

  IPS_DECLARE_MESSAGE_MAP()

signals:
  // A reboot or reset was sent and acknowledged: the device goes away for a while.
  void DeviceRestarting(const DEVICE_ENTRY_T& device);

private:
  void OnTimer(TNotifyMsg& msg);
  void OnBtnHideClicked(TNotifyMsg& msg);
  void OnBtnUpdateClicked(TNotifyMsg& msg);
  void OnBtnBrowseClicked(TNotifyMsg& msg);
  void OnBtnRebootClicked(TNotifyMsg& msg);
  void OnBtnResetClicked(TNotifyMsg& msg);
  void OnDhcpSelectChanged(TNotifyMsg& msg);

  struct RemoteCommand;
  class BusyMark;
  void RunRemoteControl(const RemoteCommand& command);
  // Empty check and authenticate, with their message boxes; true when the device accepted.
  bool CheckCredentials();
  device_ops::AuthOutcome VerifyUserAndPassword(const std::string& user,
                                                const std::string& password);
  bool CheckNetworkInput();
  void SendConfigRequest();
  void ShowDeviceConfig(const std::map<std::string, std::string>& config);
  void ShowDeviceTitle();
  int Ask(const char* title, const char* text, int buttons);
  // Yes/No with the device's model, IP and room under the question.
  int AskAboutDevice(const char* title, const char* question);
  IOpClock& WaitClock();

  QAbstractButton* m_pCheckDhcp = nullptr;
  QLineEdit* m_pEditIp = nullptr;
  QLineEdit* m_pEditGateway = nullptr;
  QLineEdit* m_pEditSubnetMask = nullptr;
  QLineEdit* m_pEditPrimaryDns = nullptr;
  QLineEdit* m_pEditSecondaryDns = nullptr;
  QLineEdit* m_pEditUserName = nullptr;
  QLineEdit* m_pEditPassword = nullptr;
  QLabel* m_pLabelDevice = nullptr;
  QProgressBar* m_pBusyBar = nullptr;
  DEVICE_ENTRY_T m_device;
  std::unique_ptr<CAuthenticateDispatcher> m_authWaits;
  std::unique_ptr<IOpClock> m_uiClock;
};
