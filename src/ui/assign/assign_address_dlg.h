#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "core/batch/address_assign_run.h"
#include "core/batch/address_plan.h"
#include "core/common/device_entry.h"
#include "ui/framework/base_dlg.h"

class CAddressAssignSession;
class QAbstractButton;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QTableWidget;
class QTableWidgetItem;

// "Assign addresses" ("AssignAddressDlg.xml"): gives the devices the caller hands in their final
// static addresses. The rule (start address, step, order, mask, gateway, DNS) is planned with
// ARP probes of the candidate addresses (the core's assign session); the table shows current ->
// planned with every conflict in words, and a planned address can be edited there, which checks
// the whole plan again. Apply probes the planned addresses once more, is refused while any
// conflict remains, then moves the devices with one credential (the session's run on a worker
// thread) and shows each one's end, "Success" or "Failed" with the reason, with counts below.
// The results can be exported as the record (CSV, or JSON by the file's extension).
class CAssignAddressDlg : public CBaseDlg {
  Q_OBJECT
public:
  enum Column { kColRoom, kColMac, kColCurrent, kColPlanned, kColState, kColumnCount };

  CAssignAddressDlg(std::vector<DEVICE_ENTRY_T> devices, QWidget* parent, bool useMask = true);
  ~CAssignAddressDlg() override;

  // Test seam: replaces the file dialog of the export; returns the path ("" = cancelled).
  using SaveFileHook = std::function<QString(QWidget* parent)>;
  static void SetSaveFileHook(SaveFileHook hook);

  const AddressPlan& Plan() const { return m_plan; }
  const std::vector<AssignOutcome>& Outcomes() const { return m_outcomes; }
  bool Running() const { return m_running; }
  // The text of a table cell (tests and the GUI driver read it).
  QString CellText(int row, Column column) const;

protected:
  QString GetLayoutFileName() const override { return QStringLiteral("AssignAddressDlg.xml"); }
  void InitWindow() override;
  void OnLanguageChanged() override;
  void done(int code) override;
  IPS_DECLARE_MESSAGE_MAP()

  // The adapter the devices are planned against and probed on (the session's choice).
  virtual IPV4_SUBNET_T OpenAdapter();
  // Plans the range, probing by ARP; false when the probe could not finish.
  virtual bool PlanRange(PlanInputs& inputs, const RangeRule& rule, AddressPlan* plan);
  // Probes the plan's addresses again and checks the plan; false when the probe did not finish.
  virtual bool Recheck(PlanInputs& inputs, AddressPlan* plan);
  // Runs blocking work with a "please wait" window; tests run it in place.
  virtual void RunBlocking(const QString& message, const std::function<void()>& work);
  // The operations of the run, with the credential.
  virtual AssignOps Ops(const std::string& user, const std::string& password);
  virtual AssignOptions RunOptions() const { return {}; }

private:
  void OnBtnPreviewClicked(TNotifyMsg& msg);
  void OnBtnApplyClicked(TNotifyMsg& msg);
  void OnBtnExportClicked(TNotifyMsg& msg);
  void OnBtnCancelClicked(TNotifyMsg& msg);
  void OnPlannedEdited(QTableWidgetItem* item);
  void OnOutcome(const AssignOutcome& outcome);
  void OnRunEnded();

  // The rule fields; false (with the reason in the hint) when one is not a valid address.
  bool ReadRule(RangeRule* rule, PlanDefaults* defaults);
  void ShowPlan();
  void ShowOutcomeRow(int row);
  void UpdateCounts();
  void SetHint(const QString& key, int count = -1);
  void RetranslateTable();
  void LockInputs(bool locked);

  std::vector<DEVICE_ENTRY_T> m_devices;
  PlanInputs m_inputs;
  AddressPlan m_plan;
  bool m_planned = false;
  std::vector<AssignOutcome> m_outcomes;  // filled as devices end; the plan order after the run
  bool m_running = false;
  bool m_ran = false;
  std::thread m_worker;
  // Adapter, probe and tap, planning, the run and its record; it outlives the worker.
  std::unique_ptr<CAddressAssignSession> m_session;
  QString m_hintKey;
  int m_hintCount = -1;

  QLineEdit* m_pEditStart = nullptr;
  QSpinBox* m_pSpinStep = nullptr;
  QComboBox* m_pComboOrder = nullptr;
  QLineEdit* m_pEditMask = nullptr;
  QLineEdit* m_pEditGateway = nullptr;
  QLineEdit* m_pEditDns1 = nullptr;
  QLineEdit* m_pEditDns2 = nullptr;
  QLineEdit* m_pEditUser = nullptr;
  QLineEdit* m_pEditPassword = nullptr;
  QTableWidget* m_pTable = nullptr;
  QLabel* m_pLabelHint = nullptr;
  QAbstractButton* m_pBtnApply = nullptr;
  QAbstractButton* m_pBtnPreview = nullptr;
  QAbstractButton* m_pBtnExport = nullptr;
  QLabel* m_pLabelDeviceCount = nullptr;
  QLabel* m_pLabelSuccessCount = nullptr;
  QLabel* m_pLabelFailedCount = nullptr;
  QLabel* m_pLabelRunningCount = nullptr;
};
