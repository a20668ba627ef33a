#pragma once

#include <memory>
#include <thread>
#include <vector>

#include "core/batch/batch_reboot_run.h"
#include "core/common/device_entry.h"
#include "ui/framework/base_dlg.h"

class CAuthenticateDispatcher;
class QLabel;
class QLineEdit;
class QTableWidget;

// Reboots the main list's selection ("BatchRebootDlg.xml"): the devices' web user name and
// password are asked once, then the core's batch reboot runs on a thread of its own and a row
// per device shows where it stands (authenticating, rebooting, rebooted when its boot-up or its
// next discovery answer was seen, or why not) with the time it took. A cancel asks first, then
// stops before the next device.
class CBatchRebootDlg : public CBaseDlg {
  Q_OBJECT
public:
  // waits: the window's authenticate dispatcher (the core keeps one); null makes one of its own.
  CBatchRebootDlg(std::vector<DEVICE_ENTRY_T> devices, CAuthenticateDispatcher* waits,
                  QWidget* parent);
  ~CBatchRebootDlg() override;

  bool Running() const { return m_thread.joinable(); }
  static QString StateText(BatchRebootRow::State state);  // catalog key

protected:
  QString GetLayoutFileName() const override { return QStringLiteral("BatchRebootDlg.xml"); }
  void InitWindow() override;
  void OnLanguageChanged() override;
  IPS_DECLARE_MESSAGE_MAP()

private:
  void OnBtnStartClicked(TNotifyMsg&);
  void OnBtnCancelClicked(TNotifyMsg&);
  void OnBtnOkClicked(TNotifyMsg&);
  void OnRow(size_t row, const BatchRebootRow& state);  // UI thread
  void OnDone();
  void ShowRow(size_t row);
  void ShowCounts();
  void UpdateButtons();

  std::vector<BatchRebootRow> m_rows;
  std::unique_ptr<CAuthenticateDispatcher> m_ownWaits;
  CAuthenticateDispatcher* m_waits;
  std::unique_ptr<CBatchRebootRun> m_run;
  std::thread m_thread;
  bool m_started = false;
  bool m_cancelled = false;
  QLabel* m_pLabelCounts = nullptr;
  QLineEdit* m_pEditUser = nullptr;
  QLineEdit* m_pEditPassword = nullptr;
  QTableWidget* m_pTableRun = nullptr;
};
