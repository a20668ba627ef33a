#include "ui/assign/assign_address_dlg.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTableWidget>
#include <algorithm>

#include "core/batch/address_assign_session.h"
#include "core/batch/address_record.h"
#include "core/common/mac_text.h"
#include "core/control/control.h"
#include "core/export/csv_export.h"
#include "record/site_operation_log.h"
#include "record/site_operation_results.h"
#include "shell/global_utils.h"
#include "ui/framework/device_list_common.h"
#include "ui/framework/message_box.h"
#include "ui/framework/translate_manager.h"
#include "ui/framework/ui_thread.h"
#include "ui/framework/wait_dlg.h"
#include "ui/settings/settings_view_util.h"

namespace {

CAssignAddressDlg::SaveFileHook& SaveFileHookSlot() {
  static CAssignAddressDlg::SaveFileHook hook;
  return hook;
}

const char* const kHeaderKeys[CAssignAddressDlg::kColumnCount] = {
    "Room Number", "MAC Address", "Current IP", "Planned IP", "Conflicts / Status"};

const QColor kConflictColor(0xb4, 0x53, 0x09);
const QColor kSuccessColor(0x15, 0x80, 0x3d);
const QColor kFailedColor(0xdc, 0x26, 0x26);

QString IpText(uint32_t ip) { return QString::fromStdString(CGlobalUtils::IpToText(ip)); }

bool ReadAddress(const QLineEdit* edit, bool required, std::string* out) {
  const std::string text = edit ? edit->text().trimmed().toStdString() : std::string();
  if (text.empty()) {
    out->clear();
    return !required;
  }
  if (!CGlobalUtils::IsValidIPv4(text)) return false;
  *out = text;
  return true;
}

QString ConflictsText(const PlannedDevice& planned) {
  QStringList parts;
  for (const PlanConflict& c : planned.conflicts) {
    QString text = TrText(QString::fromLatin1(ConflictKindText(c.kind)));
    if (!c.detail.empty()) text += QStringLiteral(": ") + QString::fromStdString(c.detail);
    parts << text;
  }
  return parts.join(QStringLiteral("; "));
}

QTableWidgetItem* TextItem(const QString& text) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  return item;
}

}  // namespace

CAssignAddressDlg::CAssignAddressDlg(std::vector<DEVICE_ENTRY_T> devices, QWidget* parent,
                                     bool useMask)
    : CBaseDlg(QString(), parent, useMask),
      m_devices(std::move(devices)),
      m_session(std::make_unique<CAddressAssignSession>(
          *CControl::GetInstance(), [](const std::vector<AssignOutcome>& outcomes,
                                       const std::map<std::string, std::string>& parameters) {
            RecordSiteOperation(AssignOperation(outcomes, "window", parameters));
          })) {}

CAssignAddressDlg::~CAssignAddressDlg() {
  if (m_worker.joinable()) m_worker.join();
}

void CAssignAddressDlg::SetSaveFileHook(SaveFileHook hook) { SaveFileHookSlot() = std::move(hook); }

IPS_BEGIN_MESSAGE_MAP(CAssignAddressDlg, CBaseDlg)
IPS_ON_CLICK("btn_preview", OnBtnPreviewClicked)
IPS_ON_CLICK("btn_apply", OnBtnApplyClicked)
IPS_ON_CLICK("btn_export", OnBtnExportClicked)
IPS_ON_CLICK("btn_cancel", OnBtnCancelClicked)
IPS_END_MESSAGE_MAP()

void CAssignAddressDlg::InitWindow() {
  m_pEditStart = FindControl<QLineEdit>(QStringLiteral("edit_start"));
  m_pSpinStep = FindControl<QSpinBox>(QStringLiteral("spin_step"));
  m_pComboOrder = FindControl<QComboBox>(QStringLiteral("combo_order"));
  m_pEditMask = FindControl<QLineEdit>(QStringLiteral("edit_mask"));
  m_pEditGateway = FindControl<QLineEdit>(QStringLiteral("edit_gateway"));
  m_pEditDns1 = FindControl<QLineEdit>(QStringLiteral("edit_dns1"));
  m_pEditDns2 = FindControl<QLineEdit>(QStringLiteral("edit_dns2"));
  m_pEditUser = FindControl<QLineEdit>(QStringLiteral("edit_user"));
  m_pEditPassword = FindControl<QLineEdit>(QStringLiteral("edit_password"));
  m_pTable = FindControl<QTableWidget>(QStringLiteral("table_plan"));
  m_pLabelHint = FindControl<QLabel>(QStringLiteral("lab_hint"));
  m_pBtnApply = FindControl<QAbstractButton>(QStringLiteral("btn_apply"));
  m_pBtnPreview = FindControl<QAbstractButton>(QStringLiteral("btn_preview"));
  m_pBtnExport = FindControl<QAbstractButton>(QStringLiteral("btn_export"));
  m_pLabelDeviceCount = FindControl<QLabel>(QStringLiteral("lab_device_count"));
  m_pLabelSuccessCount = FindControl<QLabel>(QStringLiteral("lab_success_count"));
  m_pLabelFailedCount = FindControl<QLabel>(QStringLiteral("lab_failed_count"));
  m_pLabelRunningCount = FindControl<QLabel>(QStringLiteral("lab_running_count"));

  if (m_pComboOrder) {
    AddTranslatedItem(m_pComboOrder, QStringLiteral("Room Number"), QStringLiteral("room"));
    AddTranslatedItem(m_pComboOrder, QStringLiteral("Current IP"), QStringLiteral("ip"));
    AddTranslatedItem(m_pComboOrder, QStringLiteral("MAC Address"), QStringLiteral("mac"));
  }
  if (m_pTable) {
    m_pTable->setColumnCount(kColumnCount);
    m_pTable->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_pTable->horizontalHeader()->setStretchLastSection(true);
    connect(m_pTable, &QTableWidget::itemChanged, this, &CAssignAddressDlg::OnPlannedEdited);
  }
  RetranslateTable();

  // The adapter's subnet is filled in: its mask, and the start at the first host address.
  m_inputs.adapter = OpenAdapter();
  if (m_inputs.adapter.mask != 0) {
    if (m_pEditStart)
      m_pEditStart->setText(IpText((m_inputs.adapter.address & m_inputs.adapter.mask) + 1));
    if (m_pEditMask) m_pEditMask->setText(IpText(m_inputs.adapter.mask));
  }
  if (m_pBtnExport) m_pBtnExport->setEnabled(false);
  if (m_pBtnApply) m_pBtnApply->setEnabled(false);
  ShowPlan();
  SetHint(
      QStringLiteral("Fill in the rule and press Preview; the planned addresses are checked "
                     "before anything is sent."));
}

IPV4_SUBNET_T CAssignAddressDlg::OpenAdapter() { return m_session->OpenAdapter(); }

bool CAssignAddressDlg::PlanRange(PlanInputs& inputs, const RangeRule& rule, AddressPlan* plan) {
  return m_session->PlanRange(inputs, rule, plan);
}

bool CAssignAddressDlg::Recheck(PlanInputs& inputs, AddressPlan* plan) {
  return m_session->Recheck(inputs, plan);
}

void CAssignAddressDlg::RunBlocking(const QString& message, const std::function<void()>& work) {
  CWaitDlg wait(this);
  wait.SetMessage(TrText(message));
  wait.Run(work);
}

AssignOps CAssignAddressDlg::Ops(const std::string& user, const std::string& password) {
  return m_session->Ops(user, password);
}

bool CAssignAddressDlg::ReadRule(RangeRule* rule, PlanDefaults* defaults) {
  struct Field {
    QLineEdit* edit;
    bool required;
    std::string* out;
  };
  std::string start;
  const Field fields[] = {{m_pEditStart, true, &start},
                          {m_pEditMask, false, &defaults->mask},
                          {m_pEditGateway, true, &defaults->gateway},
                          {m_pEditDns1, false, &defaults->dns1},
                          {m_pEditDns2, false, &defaults->dns2}};
  for (const Field& f : fields) {
    if (!ReadAddress(f.edit, f.required, f.out)) {
      SetHint(f.edit && f.edit->text().trimmed().isEmpty()
                  ? QStringLiteral("Fill in every required field.")
                  : QStringLiteral("An address of the rule is not valid."));
      if (f.edit) f.edit->setFocus();
      return false;
    }
  }
  const QString order =
      m_pComboOrder ? m_pComboOrder->currentData().toString() : QStringLiteral("room");
  return MakeRangeRule(start, m_pSpinStep ? m_pSpinStep->value() : 1, order.toStdString(), rule);
}

void CAssignAddressDlg::OnBtnPreviewClicked(TNotifyMsg&) {
  if (m_running || m_ran) return;
  RangeRule rule;
  PlanDefaults defaults;
  if (!ReadRule(&rule, &defaults)) return;
  m_session->FillInputs(&m_inputs, m_devices, defaults);
  bool finished = false;
  AddressPlan plan;
  RunBlocking(QStringLiteral("Checking the planned addresses. Please wait..."),
              [&] { finished = PlanRange(m_inputs, rule, &plan); });
  if (!finished) {
    m_planned = false;
    m_plan = AddressPlan();
    ShowPlan();
    SetHint(QStringLiteral("The address check by ARP could not finish; nothing was planned."));
    return;
  }
  m_plan = std::move(plan);
  m_planned = true;
  ShowPlan();
}

void CAssignAddressDlg::OnPlannedEdited(QTableWidgetItem* item) {
  if (!item || item->column() != kColPlanned || !m_planned || m_running || m_ran) return;
  const size_t row = static_cast<size_t>(item->row());
  if (row >= m_plan.devices.size()) return;
  const std::string ip = item->text().trimmed().toStdString();
  if (ip == m_plan.devices[row].ip) return;
  ReplanAddress(m_inputs, &m_plan, row, ip);
  ShowPlan();
}

void CAssignAddressDlg::OnBtnApplyClicked(TNotifyMsg&) {
  if (!m_planned || m_running || m_ran) return;
  const std::string user = m_pEditUser ? m_pEditUser->text().toStdString() : std::string();
  std::string password = m_pEditPassword ? m_pEditPassword->text().toStdString() : std::string();
  if (user.empty() || password.empty()) {
    ShowMessageBox(this, QStringLiteral("Tips"),
                   QStringLiteral("User or password can not be empty."), MB_OK);
    return;
  }
  // Edited addresses have not been probed yet, and a host may have come up since the preview.
  bool finished = false;
  RunBlocking(QStringLiteral("Checking the planned addresses. Please wait..."),
              [&] { finished = Recheck(m_inputs, &m_plan); });
  ShowPlan();
  if (!finished) {
    SetHint(QStringLiteral("The address check by ARP could not finish; nothing was sent."));
    return;
  }
  if (!m_plan.Clean()) return;  // ShowPlan says how many conflicts remain

  m_outcomes.clear();
  for (const PlannedDevice& d : m_plan.devices) {
    AssignOutcome o;
    o.planned = d;
    m_outcomes.push_back(o);
  }
  m_running = true;
  LockInputs(true);
  if (m_pEditPassword) m_pEditPassword->clear();
  for (int row = 0; row < static_cast<int>(m_outcomes.size()); ++row) ShowOutcomeRow(row);
  UpdateCounts();
  SetHint(QStringLiteral("Assigning the addresses. Please wait..."));

  AssignOps ops = Ops(user, password);
  std::fill(password.begin(), password.end(), '\0');
  const AssignOptions options = RunOptions();
  std::vector<PlannedDevice> devices = m_plan.devices;
  std::map<std::string, std::string> parameters{{"user", user},
                                                {"parallel", std::to_string(options.parallel)}};
  m_worker = std::thread([this, devices = std::move(devices), ops = std::move(ops), options,
                          parameters = std::move(parameters)]() mutable {
    std::vector<AssignOutcome> outcomes = m_session->Run(
        std::move(devices), std::move(ops), options, parameters,
        [this](const AssignOutcome& o) { PostToUiThread(this, [this, o] { OnOutcome(o); }); });
    PostToUiThread(this, [this, outcomes = std::move(outcomes)] {
      m_outcomes = outcomes;
      OnRunEnded();
    });
  });
}

void CAssignAddressDlg::OnOutcome(const AssignOutcome& outcome) {
  for (size_t row = 0; row < m_outcomes.size(); ++row) {
    if (m_outcomes[row].planned.device.mac != outcome.planned.device.mac) continue;
    m_outcomes[row] = outcome;
    ShowOutcomeRow(static_cast<int>(row));
  }
  UpdateCounts();
}

void CAssignAddressDlg::OnRunEnded() {
  if (m_worker.joinable()) m_worker.join();
  m_running = false;
  m_ran = true;
  for (int row = 0; row < static_cast<int>(m_outcomes.size()); ++row) ShowOutcomeRow(row);
  UpdateCounts();
  if (m_pBtnExport) m_pBtnExport->setEnabled(true);
  const size_t failed = std::count_if(m_outcomes.begin(), m_outcomes.end(), [](const auto& o) {
    return o.status != AssignStatus::kSuccess;
  });
  if (CredentialRefused(m_outcomes)) {
    // Nothing was changed: back to the credential, the plan as it was, so Apply can run again.
    m_ran = false;
    if (m_pBtnExport) m_pBtnExport->setEnabled(false);
    LockInputs(false);
    ShowPlan();
    ShowMessageBox(this, QStringLiteral("Tips"),
                   QStringLiteral("The devices refused the user name or password; it was not "
                                  "tried on the others. Enter it again."),
                   MB_OK);
    SetHint(QStringLiteral("The devices refused the user name or password. Enter it again."));
    if (m_pEditPassword) m_pEditPassword->setFocus();
  } else if (failed == 0) {
    SetHint(QStringLiteral("Every device answers at its planned address."));
  } else {
    SetHint(QStringLiteral("%d devices are not on their planned address; see the reasons."),
            static_cast<int>(failed));
  }
  CControl::GetInstance()->MulticastDiscoveryMsg();
}

void CAssignAddressDlg::ShowPlan() {
  if (!m_pTable) return;
  const QSignalBlocker quiet(m_pTable);
  const bool editable = m_planned && !m_running && !m_ran;
  const size_t rows = m_planned ? m_plan.devices.size() : m_devices.size();
  m_pTable->setRowCount(static_cast<int>(rows));
  for (size_t i = 0; i < rows; ++i) {
    const int row = static_cast<int>(i);
    const DEVICE_ENTRY_T& device = m_planned ? m_plan.devices[i].device : m_devices[i];
    m_pTable->setItem(row, kColRoom, TextItem(QString::fromStdString(device.deviceId)));
    m_pTable->setItem(row, kColMac, TextItem(QString::fromStdString(DisplayMacText(device.mac))));
    m_pTable->setItem(row, kColCurrent, TextItem(QString::fromStdString(device.ip)));
    QTableWidgetItem* planned =
        TextItem(m_planned ? QString::fromStdString(m_plan.devices[i].ip) : QString());
    if (editable) planned->setFlags(planned->flags() | Qt::ItemIsEditable);
    m_pTable->setItem(row, kColPlanned, planned);
    QTableWidgetItem* state = TextItem(m_planned ? ConflictsText(m_plan.devices[i]) : QString());
    state->setToolTip(state->text());
    state->setForeground(kConflictColor);
    m_pTable->setItem(row, kColState, state);
  }
  // The data columns fit their texts (and headers); the last takes the rest.
  for (int c = kColRoom; c <= kColPlanned; ++c) m_pTable->resizeColumnToContents(c);
  const int conflicts = m_planned ? static_cast<int>(m_plan.ConflictCount()) : 0;
  if (m_pBtnApply) m_pBtnApply->setEnabled(editable && conflicts == 0);
  UpdateCounts();
  if (!m_planned) return;
  if (conflicts > 0) {
    SetHint(QStringLiteral("%d conflicts: change the planned addresses (double-click one) or the "
                           "rule before applying."),
            conflicts);
  } else {
    SetHint(QStringLiteral("No conflict. Enter the devices' user and password and press Apply."));
  }
}

void CAssignAddressDlg::ShowOutcomeRow(int row) {
  if (!m_pTable || row < 0 || row >= m_pTable->rowCount()) return;
  const AssignOutcome& o = m_outcomes[static_cast<size_t>(row)];
  const QSignalBlocker quiet(m_pTable);
  QString text;
  QColor color = kConflictColor;
  if (o.status == AssignStatus::kWaiting) {
    text = TrText(m_running ? QStringLiteral("Running") : QStringLiteral("Planned"));
  } else {
    text = TrText(QString::fromLatin1(AssignStatusText(o.status)));
    color = o.status == AssignStatus::kSuccess ? kSuccessColor : kFailedColor;
    if (o.failure != AssignFailure::kNone)
      text += QStringLiteral(": ") + TrText(QString::fromLatin1(AssignFailureText(o.failure)));
  }
  QTableWidgetItem* state = TextItem(text);
  state->setForeground(color);
  state->setToolTip(o.detail.empty() ? text
                                     : text + QStringLiteral(" (") +
                                           QString::fromStdString(o.detail) + QStringLiteral(")"));
  m_pTable->setItem(row, kColState, state);
  m_pTable->setItem(row, kColPlanned, TextItem(QString::fromStdString(o.planned.ip)));
}

void CAssignAddressDlg::UpdateCounts() {
  const auto count = [this](AssignStatus status) {
    return static_cast<int>(std::count_if(m_outcomes.begin(), m_outcomes.end(),
                                          [status](const auto& o) { return o.status == status; }));
  };
  const int devices = static_cast<int>(m_planned ? m_plan.devices.size() : m_devices.size());
  struct Count {
    QLabel* label;
    int value;
  };
  const Count counts[] = {{m_pLabelDeviceCount, devices},
                          {m_pLabelSuccessCount, count(AssignStatus::kSuccess)},
                          {m_pLabelFailedCount, count(AssignStatus::kFailed)},
                          {m_pLabelRunningCount, m_running ? count(AssignStatus::kWaiting) : 0}};
  for (const Count& c : counts) {
    if (!c.label) continue;
    const QString key = c.label->property("text_format").toString();
    c.label->setText(FormatCount(TrText(key), c.value));
  }
}

void CAssignAddressDlg::SetHint(const QString& key, int count) {
  m_hintKey = key;
  m_hintCount = count;
  if (!m_pLabelHint) return;
  m_pLabelHint->setText(count < 0 ? TrText(key) : FormatCount(TrText(key), count));
}

void CAssignAddressDlg::RetranslateTable() {
  if (!m_pTable) return;
  QStringList headers;
  for (const char* key : kHeaderKeys) headers << TrText(QString::fromLatin1(key));
  m_pTable->setHorizontalHeaderLabels(headers);
}

void CAssignAddressDlg::OnLanguageChanged() {
  RetranslateTable();
  if (m_pComboOrder) RetranslateItems(m_pComboOrder);
  if (m_running || m_ran) {
    for (int row = 0; row < static_cast<int>(m_outcomes.size()); ++row) ShowOutcomeRow(row);
  } else {
    ShowPlan();
  }
  UpdateCounts();
  SetHint(m_hintKey, m_hintCount);
}

void CAssignAddressDlg::LockInputs(bool locked) {
  QWidget* inputs[] = {m_pEditStart,    m_pSpinStep,   m_pComboOrder, m_pEditMask,
                       m_pEditGateway,  m_pEditDns1,   m_pEditDns2,   m_pEditUser,
                       m_pEditPassword, m_pBtnPreview, m_pBtnApply};
  for (QWidget* w : inputs)
    if (w) w->setEnabled(!locked);
}

void CAssignAddressDlg::OnBtnExportClicked(TNotifyMsg&) {
  if (!m_ran) return;
  QString chosen;
  if (SaveFileHookSlot()) {
    chosen = SaveFileHookSlot()(this);
  } else {
    chosen = QFileDialog::getSaveFileName(
        this, TrText(QStringLiteral("Export results")), QDir::currentPath(),
        TrText(QStringLiteral("CSV File")) + QStringLiteral(" (*.csv);;JSON (*.json)"));
  }
  if (chosen.isEmpty()) return;
  const bool json = chosen.endsWith(QStringLiteral(".json"), Qt::CaseInsensitive);
  const std::string path =
      json ? chosen.toStdString() : CCsvExport::ExportPath(chosen.toStdString());
  const std::string bytes =
      json ? address_record::FormatJson(m_outcomes) : address_record::FormatCsv(m_outcomes);
  if (!CCsvExport::WriteFile(path, bytes)) {
    ShowMessageBox(this, QStringLiteral("Export Error"), QStringLiteral("Opening file failed."),
                   MB_OK);
    return;
  }
  ShowMessageBox(this, QStringLiteral("Export"), QStringLiteral("Exporting succeeded."), MB_OK);
}

void CAssignAddressDlg::OnBtnCancelClicked(TNotifyMsg&) { Close(m_ran ? IDOK : IDCANCEL); }

void CAssignAddressDlg::done(int code) {
  // The run cannot be cut short halfway: a device may be between its update and its check.
  if (m_running) {
    ShowMessageBox(this, QStringLiteral("Tips"),
                   QStringLiteral("The addresses are being assigned. Wait until every device "
                                  "has ended."),
                   MB_OK);
    return;
  }
  CBaseDlg::done(code);
}

QString CAssignAddressDlg::CellText(int row, Column column) const {
  if (!m_pTable) return {};
  const QTableWidgetItem* item = m_pTable->item(row, column);
  return item ? item->text() : QString();
}
