#pragma once

#include <atomic>
#include <vector>

#include "core/batch/batch_static_run.h"
#include "core/control/control_notify.h"
#include "ui/framework/base_dlg.h"

class QLabel;
class QListView;
class CSetStaticIPDetailModel;
class CStaticIpListView;

// The batch static IP progress ("SetStaticIPStatusDlg.xml"): turns each chosen device into a
// static-address device that keeps its present settings (CBatchStaticRun) and shows per device
// "Configuring", then "Success" or "Failed". Timer 2 (200 ms) waits for the reports, timer 1
// (1000 ms) polls the addressing type. Closing while a row still configures asks first.
class CSetStaticIPDetailDlg : public CBaseDlg, public CControlBaseNotify {
  Q_OBJECT
public:
  CSetStaticIPDetailDlg(std::vector<DEVICE_ENTRY_T> devices, QWidget* parent, bool useMask = false,
                        BatchStaticSender sender = BatchStaticSender::Core());
  ~CSetStaticIPDetailDlg() override;

  // Control core, worker thread: a device reported configuration items.
  void OnReportConfig(std::string deviceKey, std::string ip, int port,
                      const std::vector<std::string>* items) override;

  CSetStaticIPDetailModel* Model() const { return m_model; }
  const CBatchStaticRun& Run() const { return m_run; }

protected:
  QString GetLayoutFileName() const override { return QStringLiteral("SetStaticIPStatusDlg.xml"); }
  void InitWindow() override;
  // Every way of closing comes here: asks while a row still configures.
  void done(int code) override;
  // The dialog's timers; a test steps the ticks itself instead.
  virtual void StartTimer(int id, int periodMs);
  virtual void StopTimer(int id);
  IPS_DECLARE_MESSAGE_MAP()

private:
  void OnTimer(TNotifyMsg& msg);
  void OnBtnOkClicked(TNotifyMsg& msg);
  bool OnClose();
  void ApplyReports();
  void UpdateCounts();

  CBatchStaticRun m_run;
  CSetStaticIPDetailModel* m_model;
  CStaticIpListView* m_listView = nullptr;
  QListView* m_pListDevice = nullptr;
  QLabel* m_pLabelDeviceCount = nullptr;
  QLabel* m_pLabelSuccessCount = nullptr;
  QLabel* m_pLabelFailedCount = nullptr;
  QLabel* m_pLabelConfiguringCount = nullptr;
  std::atomic<bool> m_closing{false};
  bool m_started = false;  // the run began: its rows go into the site record at the end
};
