#include "ui/upgrade/batch_upgrade_dlg.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QSpinBox>
#include <QStringList>
#include <QTableWidget>
#include <QTimer>
#include <algorithm>

#include "core/common/op_clock.h"
#include "core/control/control.h"
#include "core/export/csv_export.h"
#include "core/upgrade/rollout_csv.h"
#include "core/upgrade/upgrade_request.h"
#include "record/site_operation_log.h"
#include "record/site_operation_results.h"
#include "ui/framework/message_box.h"
#include "ui/framework/result_table.h"
#include "ui/framework/translate_manager.h"

namespace {

using Result = RolloutEntry::Result;

enum RunColumn {
  kColDevice,
  kColModel,
  kColRoom,
  kColOld,
  kColNew,
  kColState,
  kColProgress,
  kColTime
};

QString Text(const std::string& text) { return QString::fromStdString(text); }

QString DeviceText(const DEVICE_ENTRY_T& d) {
  return QStringLiteral("%1   %2").arg(Text(d.ip), Text(d.mac));
}

// Where a device stands, for the progress column: request sent, rebooted, done.
int ProgressPercent(Result result, bool bootUpSeen) {
  switch (result) {
    case Result::kWaiting:
      return 0;
    case Result::kRunning:
      return bootUpSeen ? 70 : 30;
    default:
      return 100;
  }
}

std::function<void(RolloutOptions&)>& OptionsHook() {
  static std::function<void(RolloutOptions&)> hook;
  return hook;
}

QString Seconds(qint64 ms) { return QStringLiteral("%1 s").arg((ms + 500) / 1000); }

const QStringList kRunHeader = {QStringLiteral("Device"),      QStringLiteral("Model"),
                                QStringLiteral("Room"),        QStringLiteral("Old version"),
                                QStringLiteral("New version"), QStringLiteral("State"),
                                QStringLiteral("Progress"),    QStringLiteral("Time")};

}  // namespace

CBatchUpgradeDlg::CBatchUpgradeDlg(std::vector<DEVICE_ENTRY_T> devices, const QString& imageName,
                                   QWidget* parent)
    : CBaseDlg(QString(), parent, true),
      m_devices(std::move(devices)),
      m_imageName(imageName),
      m_version(ImageVersion(imageName.toStdString())),
      m_plan(PlanUpgrade(m_version, m_devices)) {}

void CBatchUpgradeDlg::SetRolloutOptionsHook(std::function<void(RolloutOptions&)> hook) {
  OptionsHook() = std::move(hook);
}

CBatchUpgradeDlg::~CBatchUpgradeDlg() {
  // Closing is refused while the run goes on; this is the last guard (program end).
  if (m_rollout) m_rollout->StopStarting();
  if (m_thread.joinable()) m_thread.join();
}

IPS_BEGIN_MESSAGE_MAP(CBatchUpgradeDlg, CBaseDlg)
IPS_ON_CLICK("btn_start", OnBtnStartClicked)
IPS_ON_CLICK("btn_cancel", OnBtnCancelClicked)
IPS_ON_CLICK("closebtn", OnBtnCancelClicked)
IPS_ON_CLICK("btn_retry", OnBtnRetryClicked)
IPS_ON_CLICK("btn_export", OnBtnExportClicked)
IPS_ON_CLICK("btn_ok", OnBtnOkClicked)
IPS_END_MESSAGE_MAP()

QString CBatchUpgradeDlg::ResultText(Result result) {
  switch (result) {
    case Result::kWaiting:
      return QStringLiteral("Waiting");
    case Result::kRunning:
      return QStringLiteral("Upgrading");
    case Result::kCompleted:
      return QStringLiteral("Completed");
    case Result::kFailed:
      return QStringLiteral("Failed");
    case Result::kTimedOut:
      return QStringLiteral("Timed out");
    case Result::kSkipped:
      return QStringLiteral("Skipped");
    case Result::kNotSent:
      return QStringLiteral("Not sent");
  }
  return {};
}

void CBatchUpgradeDlg::InitWindow() {
  m_pLabelImage = FindControl<QLabel>(QStringLiteral("lab_image"));
  m_pLabelSkipped = FindControl<QLabel>(QStringLiteral("lab_skipped"));
  m_pLabelCounts = FindControl<QLabel>(QStringLiteral("lab_counts"));
  m_pCheckOverride = FindControl<QCheckBox>(QStringLiteral("chk_override"));
  m_pSpinParallel = FindControl<QSpinBox>(QStringLiteral("spin_parallel"));
  m_pTablePlan = FindControl<QTableWidget>(QStringLiteral("table_plan"));
  m_pTableIncompatible = FindControl<QTableWidget>(QStringLiteral("table_incompatible"));
  m_pTableRun = FindControl<QTableWidget>(QStringLiteral("table_run"));
  if (m_pSpinParallel) m_pSpinParallel->setValue(kDefaultParallel);

  auto* ticker = new QTimer(this);
  connect(ticker, &QTimer::timeout, this, &CBatchUpgradeDlg::Tick);
  ticker->start(1000);

  OnLanguageChanged();
  ShowPage(false);
}

void CBatchUpgradeDlg::OnLanguageChanged() {
  if (m_pLabelImage) {
    m_pLabelImage->setText(
        TrText(QStringLiteral("Image %1, firmware version %2")).arg(m_imageName, Text(m_version)));
  }
  SetupResultTable(m_pTablePlan, {QStringLiteral("Model"), QStringLiteral("Devices"),
                                  QStringLiteral("Current versions")});
  SetupResultTable(m_pTableIncompatible, {QStringLiteral("Device"), QStringLiteral("Model"),
                                          QStringLiteral("Room"), QStringLiteral("Firmware")});
  SetupResultTable(m_pTableRun, kRunHeader);
  ShowPlan();
  for (size_t row = 0; row < m_results.size(); ++row) ShowRow(row);
  ShowCounts();
}

void CBatchUpgradeDlg::ShowPlan() {
  if (m_pTablePlan) {
    m_pTablePlan->setRowCount(static_cast<int>(m_plan.byModel.size()));
    int row = 0;
    for (const auto& [model, group] : m_plan.byModel) {
      QStringList versions;
      for (const std::string& v : group.versions)
        versions << (v.empty() ? TrText(QStringLiteral("unknown")) : Text(v));
      SetResultCell(m_pTablePlan, row, 0,
                    model.empty() ? TrText(QStringLiteral("(no model)")) : Text(model));
      SetResultCell(m_pTablePlan, row, 1, QString::number(group.devices));
      SetResultCell(m_pTablePlan, row, 2, versions.join(QStringLiteral(", ")));
      ++row;
    }
  }
  if (m_pLabelSkipped) {
    QStringList lines;
    lines << TrText(QStringLiteral("To upgrade: %1 devices")).arg(m_plan.toUpgrade.size());
    lines << TrText(QStringLiteral("Already on %1, skipped: %2 devices"))
                 .arg(Text(m_version))
                 .arg(m_plan.alreadyOn.size());
    lines << TrText(QStringLiteral("Incompatible: %1 devices")).arg(m_plan.incompatible.size());
    m_pLabelSkipped->setText(lines.join(QStringLiteral("   ·   ")));
  }
  if (m_pTableIncompatible) {
    m_pTableIncompatible->setRowCount(static_cast<int>(m_plan.incompatible.size()));
    for (int row = 0; row < static_cast<int>(m_plan.incompatible.size()); ++row) {
      const DEVICE_ENTRY_T& d = m_plan.incompatible[static_cast<size_t>(row)];
      SetResultCell(m_pTableIncompatible, row, 0, DeviceText(d));
      SetResultCell(m_pTableIncompatible, row, 1, Text(d.model));
      SetResultCell(m_pTableIncompatible, row, 2, Text(d.deviceId));
      SetResultCell(m_pTableIncompatible, row, 3,
                    d.firmware.empty() ? TrText(QStringLiteral("unknown")) : Text(d.firmware));
    }
  }
  const bool any = !m_plan.incompatible.empty();
  if (auto* section = FindControl<QWidget>(QStringLiteral("lab_section_incompatible")))
    section->setVisible(any);
  if (m_pTableIncompatible) m_pTableIncompatible->setVisible(any);
  if (m_pCheckOverride) m_pCheckOverride->setVisible(any);
}

void CBatchUpgradeDlg::ShowPage(bool run) {
  if (auto* page = FindControl<QWidget>(QStringLiteral("page_preview"))) page->setVisible(!run);
  if (auto* page = FindControl<QWidget>(QStringLiteral("page_run"))) page->setVisible(run);
  UpdateButtons();
}

void CBatchUpgradeDlg::UpdateButtons() {
  const bool started = !m_results.empty();
  const bool running = Running();
  const bool anyFailed = std::any_of(m_results.begin(), m_results.end(), [](const RolloutEntry& e) {
    return e.Final() && !e.OnNewVersion();
  });
  auto show = [this](const char* name, bool visible) {
    if (auto* b = FindControl<QAbstractButton>(QString::fromLatin1(name))) b->setVisible(visible);
  };
  show("btn_start", !started);
  show("btn_cancel", !started || running);
  show("btn_retry", started && !running && anyFailed);
  show("btn_export", started && !running);
  show("btn_ok", started && !running);
  if (auto* b = FindControl<QAbstractButton>(QStringLiteral("btn_cancel")))
    b->setEnabled(!m_cancelled || !running);
  if (auto* b = FindControl<QAbstractButton>(QStringLiteral("btn_start")))
    b->setEnabled(!m_plan.Targets(m_pCheckOverride && m_pCheckOverride->isChecked()).empty());
}

void CBatchUpgradeDlg::OnBtnStartClicked(TNotifyMsg&) {
  const bool override = m_pCheckOverride && m_pCheckOverride->isChecked();
  if (!UpgradeUrlFits(GetUpgradeHost(), m_imageName.toStdString())) {
    ShowMessageBox(this, QStringLiteral("Upgrade"),
                   QStringLiteral("The image's file name is too long for the address a device "
                                  "accepts. Rename the file and choose it again."),
                   MB_OK);
    return;
  }
  const std::vector<DEVICE_ENTRY_T> targets = m_plan.Targets(override);
  if (targets.empty()) return;
  m_results.clear();
  m_rowByMac.clear();
  for (const DEVICE_ENTRY_T& d : targets) {
    RolloutEntry entry;
    entry.device = d;
    entry.oldVersion = d.firmware;
    m_rowByMac.emplace(d.mac, m_results.size());
    m_results.push_back(entry);
  }
  m_runningSince.assign(m_results.size(), QElapsedTimer());
  if (m_pTableRun) m_pTableRun->setRowCount(static_cast<int>(m_results.size()));
  for (size_t row = 0; row < m_results.size(); ++row) ShowRow(row);
  StartRollout(targets);
  ShowPage(true);
}

void CBatchUpgradeDlg::StartRollout(const std::vector<DEVICE_ENTRY_T>& targets) {
  RolloutOptions options;
  options.imageName = m_imageName.toStdString();
  options.host = GetUpgradeHost();
  options.parallel = m_pSpinParallel ? m_pSpinParallel->value() : kDefaultParallel;
  if (OptionsHook()) OptionsHook()(options);
  m_rollout = std::make_unique<CUpgradeRollout>(*CControl::GetInstance(), SteadyOpClock(), options,
                                                targets);
  m_rolloutRows.clear();
  for (const DEVICE_ENTRY_T& d : targets) m_rolloutRows.push_back(m_rowByMac[d.mac]);
  // The rollout's thread hands each change over; a change that arrives after the window is
  // gone is dropped with it.
  m_rollout->progress = [this](const RolloutEntry& entry) {
    QMetaObject::invokeMethod(
        this, [this, entry] { OnEntry(entry); }, Qt::QueuedConnection);
  };
  // The skipped ones are final before the run starts.
  for (const RolloutEntry& e : m_rollout->Entries())
    if (e.Final()) OnEntry(e);
  m_cancelled = false;
  CUpgradeRollout* rollout = m_rollout.get();
  std::map<std::string, std::string> parameters{{"image", options.imageName},
                                                {"version", ImageVersion(options.imageName)},
                                                {"parallel", std::to_string(options.parallel)}};
  m_thread = std::thread([this, rollout, parameters = std::move(parameters)] {
    rollout->Run();
    // Each device's result, also when the window closed meanwhile.
    RecordSiteOperation(UpgradeOperation(rollout->Entries(), "window", parameters));
    QMetaObject::invokeMethod(
        this, [this] { OnRolloutDone(); }, Qt::QueuedConnection);
  });
  ShowCounts();
  UpdateButtons();
}

void CBatchUpgradeDlg::OnEntry(const RolloutEntry& entry) {
  const auto it = m_rowByMac.find(entry.device.mac);
  if (it == m_rowByMac.end()) return;
  const size_t row = it->second;
  RolloutEntry& shown = m_results[row];
  shown.result = entry.result;
  shown.newVersion = entry.newVersion;
  shown.elapsed = entry.elapsed;
  shown.reason = entry.reason;
  if (entry.result == Result::kRunning) m_runningSince[row].start();
  if (entry.Final()) m_runningSince[row].invalidate();
  ShowRow(row);
  ShowCounts();
}

void CBatchUpgradeDlg::OnRolloutDone() {
  if (m_thread.joinable()) m_thread.join();
  // The rollout's own record is complete now: take the final versions and times from it.
  if (m_rollout) {
    for (const RolloutEntry& e : m_rollout->Entries()) OnEntry(e);
  }
  m_rollout.reset();
  ShowCounts();
  UpdateButtons();
}

void CBatchUpgradeDlg::ShowRow(size_t row) {
  if (!m_pTableRun || row >= m_results.size()) return;
  const RolloutEntry& e = m_results[row];
  const int r = static_cast<int>(row);
  SetResultCell(m_pTableRun, r, kColDevice, DeviceText(e.device));
  SetResultCell(m_pTableRun, r, kColModel, Text(e.device.model));
  SetResultCell(m_pTableRun, r, kColRoom, Text(e.device.deviceId));
  SetResultCell(m_pTableRun, r, kColOld,
                e.oldVersion.empty() ? TrText(QStringLiteral("unknown")) : Text(e.oldVersion));
  SetResultCell(m_pTableRun, r, kColNew, e.Final() ? Text(e.newVersion) : QString());
  QString state = TrText(ResultText(e.result));
  if (e.result == Result::kFailed && !e.reason.empty()) {
    // A device that refused the request: its own reason, or ours when it gave none.
    const QString reason = e.reason == kRefusedImageReason
                               ? TrText(QStringLiteral("the device refused the image"))
                               : Text(e.reason);
    state = TrText(QStringLiteral("Failed: %1")).arg(reason);
  }
  SetResultCell(m_pTableRun, r, kColState, state);
  bool bootUp = false;
  if (m_rollout && e.result == Result::kRunning) {
    for (size_t i = 0; i < m_rolloutRows.size(); ++i)
      if (m_rolloutRows[i] == row) bootUp = m_rollout->BootUpSeen(i);
  }
  SetResultCell(m_pTableRun, r, kColProgress,
                QStringLiteral("%1 %").arg(ProgressPercent(e.result, bootUp)));
  const qint64 ms = m_runningSince[row].isValid() ? m_runningSince[row].elapsed()
                                                  : static_cast<qint64>(e.elapsed.count());
  SetResultCell(
      m_pTableRun, r, kColTime,
      e.result == Result::kWaiting || e.result == Result::kSkipped ? QString() : Seconds(ms));
}

void CBatchUpgradeDlg::ShowCounts() {
  if (!m_pLabelCounts) return;
  size_t completed = 0, failed = 0, running = 0, waiting = 0, skipped = 0;
  for (const RolloutEntry& e : m_results) {
    switch (e.result) {
      case Result::kCompleted:
        ++completed;
        break;
      case Result::kRunning:
        ++running;
        break;
      case Result::kWaiting:
        ++waiting;
        break;
      case Result::kSkipped:
        ++skipped;
        break;
      default:
        ++failed;
    }
  }
  QString text = TrText(QStringLiteral("Completed: %1   Failed: %2   Running: %3   Waiting: %4   "
                                       "Skipped: %5"))
                     .arg(completed)
                     .arg(failed)
                     .arg(running)
                     .arg(waiting)
                     .arg(skipped);
  if (!Running() && !m_results.empty())
    text += QStringLiteral("   —   ") + TrText(QStringLiteral("Finished"));
  m_pLabelCounts->setText(text);
}

void CBatchUpgradeDlg::Tick() {
  for (size_t row = 0; row < m_results.size(); ++row) {
    if (m_results[row].result == Result::kRunning) ShowRow(row);
  }
}

void CBatchUpgradeDlg::OnBtnCancelClicked(TNotifyMsg&) {
  if (m_results.empty()) {
    Close(IDCANCEL);
    return;
  }
  if (!Running()) {
    Close(IDOK);
    return;
  }
  if (m_cancelled) return;
  if (ShowMessageBox(this, QStringLiteral("Upgrade"),
                     QStringLiteral("Stop the upgrade? No further device is started; the devices "
                                    "upgrading now finish and are checked."),
                     MB_YESNO) != IDYES)
    return;
  m_cancelled = true;
  if (m_rollout) m_rollout->StopStarting();
  UpdateButtons();
}

void CBatchUpgradeDlg::OnBtnRetryClicked(TNotifyMsg&) {
  if (Running()) return;
  std::vector<DEVICE_ENTRY_T> again;
  for (RolloutEntry& e : m_results) {
    if (!e.Final() || e.OnNewVersion()) continue;
    // The device as the table shows it now: its address may have changed meanwhile.
    DEVICE_ENTRY_T now;
    if (CControl::GetInstance()->FindDevice(e.device.mac, &now)) e.device = now;
    e.result = Result::kWaiting;
    e.newVersion.clear();
    e.elapsed = std::chrono::milliseconds(0);
    again.push_back(e.device);
  }
  if (again.empty()) return;
  for (size_t row = 0; row < m_results.size(); ++row) ShowRow(row);
  StartRollout(again);
}

void CBatchUpgradeDlg::OnBtnExportClicked(TNotifyMsg&) {
  const QString chosen = QFileDialog::getSaveFileName(
      this, TrText(QStringLiteral("Export results")), QDir::currentPath(),
      TrText(QStringLiteral("CSV Files (*.csv)")) + QStringLiteral(";;") +
          TrText(QStringLiteral("All Files (*)")));
  if (chosen.isEmpty()) return;
  RolloutCsvHeader header;
  for (std::string& column : header.columns)
    column = TrText(QString::fromStdString(column)).toStdString();
  std::vector<std::string> results;
  for (Result r : {Result::kWaiting, Result::kRunning, Result::kCompleted, Result::kFailed,
                   Result::kTimedOut, Result::kSkipped, Result::kNotSent})
    results.push_back(TrText(ResultText(r)).toStdString());
  const std::string path = CCsvExport::ExportPath(QFile::encodeName(chosen).toStdString());
  if (!CCsvExport::WriteFile(path, FormatRolloutCsv(m_results, header, results))) {
    ShowMessageBox(this, QStringLiteral("Export Error"), QStringLiteral("Opening file failed."),
                   MB_OK);
    return;
  }
  ShowMessageBox(this, QStringLiteral("Export"), QStringLiteral("Exporting succeeded."), MB_OK);
}

void CBatchUpgradeDlg::OnBtnOkClicked(TNotifyMsg&) {
  if (!Running()) Close(IDOK);
}
