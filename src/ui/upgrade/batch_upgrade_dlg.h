#pragma once

#include <QElapsedTimer>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/common/device_entry.h"
#include "core/upgrade/upgrade_compat.h"
#include "core/upgrade/upgrade_rollout.h"
#include "ui/framework/base_dlg.h"

class QAbstractButton;
class QCheckBox;
class QLabel;
class QSpinBox;
class QTableWidget;

// The firmware upgrade of the main list's selection ("BatchUpgradeDlg.xml"). First a preview:
// the image's name and version, per model the number of devices and their versions, the devices
// already on the image's version (skipped) and the incompatible ones (left out unless the
// installer ticks the override that names the risk), and how many upgrade at once (4). Then the
// core's rollout runs on a thread of its own, a row per device with its old and new version,
// state, progress and time, and the counts above. A cancel asks first, then starts no further
// device and lets the running ones finish their check. At the end the failed devices can be
// retried and the results exported as CSV.
class CBatchUpgradeDlg : public CBaseDlg {
  Q_OBJECT
public:
  static constexpr int kDefaultParallel = 4;

  // imageName: the file name (with extension) in the download folder.
  CBatchUpgradeDlg(std::vector<DEVICE_ENTRY_T> devices, const QString& imageName, QWidget* parent);
  ~CBatchUpgradeDlg() override;

  bool Running() const { return m_thread.joinable(); }
  const std::vector<RolloutEntry>& Results() const { return m_results; }

  // The catalog key of a result ("Completed", "Failed", ...).
  static QString ResultText(RolloutEntry::Result result);

  // Test seam: changes the rollout's options (times) before each run; empty restores them.
  static void SetRolloutOptionsHook(std::function<void(RolloutOptions&)> hook);

protected:
  QString GetLayoutFileName() const override { return QStringLiteral("BatchUpgradeDlg.xml"); }
  void InitWindow() override;
  void OnLanguageChanged() override;
  IPS_DECLARE_MESSAGE_MAP()

private:
  void OnBtnStartClicked(TNotifyMsg&);
  void OnBtnCancelClicked(TNotifyMsg&);
  void OnBtnRetryClicked(TNotifyMsg&);
  void OnBtnExportClicked(TNotifyMsg&);
  void OnBtnOkClicked(TNotifyMsg&);

  void ShowPlan();
  void ShowPage(bool run);
  void StartRollout(const std::vector<DEVICE_ENTRY_T>& targets);
  void OnEntry(const RolloutEntry& entry);  // UI thread, from the rollout's progress
  void OnRolloutDone();
  void ShowRow(size_t row);
  void ShowCounts();
  void UpdateButtons();
  void Tick();  // the running rows' times and progress, every second

  std::vector<DEVICE_ENTRY_T> m_devices;
  QString m_imageName;
  std::string m_version;
  UpgradePlan m_plan;

  QLabel* m_pLabelImage = nullptr;
  QLabel* m_pLabelSkipped = nullptr;
  QLabel* m_pLabelCounts = nullptr;
  QCheckBox* m_pCheckOverride = nullptr;
  QSpinBox* m_pSpinParallel = nullptr;
  QTableWidget* m_pTablePlan = nullptr;
  QTableWidget* m_pTableIncompatible = nullptr;
  QTableWidget* m_pTableRun = nullptr;

  std::vector<RolloutEntry> m_results;        // a row per device of the run, in row order
  std::map<std::string, size_t> m_rowByMac;   // MAC text -> row
  std::vector<QElapsedTimer> m_runningSince;  // per row, valid while it upgrades
  std::vector<size_t> m_rolloutRows;          // the rollout's entry i is row m_rolloutRows[i]
  std::unique_ptr<CUpgradeRollout> m_rollout;
  std::thread m_thread;
  bool m_cancelled = false;
};
