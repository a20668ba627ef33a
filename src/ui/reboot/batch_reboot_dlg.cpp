#include "ui/reboot/batch_reboot_dlg.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <algorithm>

#include "core/common/op_clock.h"
#include "core/control/control.h"
#include "core/device/authenticate_dispatcher.h"
#include "record/site_operation_log.h"
#include "record/site_operation_results.h"
#include "ui/framework/message_box.h"
#include "ui/framework/result_table.h"
#include "ui/framework/translate_manager.h"

namespace {

using State = BatchRebootRow::State;

QString Text(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

CBatchRebootDlg::CBatchRebootDlg(std::vector<DEVICE_ENTRY_T> devices,
                                 CAuthenticateDispatcher* waits, QWidget* parent)
    : CBaseDlg(QString(), parent, true), m_waits(waits) {
  if (!m_waits) {
    m_ownWaits = std::make_unique<CAuthenticateDispatcher>(*CControl::GetInstance());
    m_waits = m_ownWaits.get();
  }
  for (DEVICE_ENTRY_T& d : devices)
    m_rows.push_back(BatchRebootRow{std::move(d), State::kWaiting, {}});
}

CBatchRebootDlg::~CBatchRebootDlg() {
  if (m_run) m_run->StopStarting();
  if (m_thread.joinable()) m_thread.join();
}

IPS_BEGIN_MESSAGE_MAP(CBatchRebootDlg, CBaseDlg)
IPS_ON_CLICK("btn_start", OnBtnStartClicked)
IPS_ON_CLICK("btn_cancel", OnBtnCancelClicked)
IPS_ON_CLICK("closebtn", OnBtnCancelClicked)
IPS_ON_CLICK("btn_ok", OnBtnOkClicked)
IPS_END_MESSAGE_MAP()

QString CBatchRebootDlg::StateText(State state) {
  switch (state) {
    case State::kWaiting:
      return QStringLiteral("Waiting");
    case State::kAuthenticating:
      return QStringLiteral("Checking the password");
    case State::kRebooting:
      return QStringLiteral("Rebooting");
    case State::kRebooted:
      return QStringLiteral("Rebooted");
    case State::kRefused:
      return QStringLiteral("User or password incorrect.");
    case State::kNoAnswer:
      return QStringLiteral("No answer");
    case State::kNotSent:
      return QStringLiteral("Not sent");
    case State::kNoBootUp:
      return QStringLiteral("Did not come back");
    case State::kNotTried:
      return QStringLiteral("Not tried: the credential was refused");
  }
  return {};
}

void CBatchRebootDlg::InitWindow() {
  m_pLabelCounts = FindControl<QLabel>(QStringLiteral("lab_counts"));
  m_pEditUser = FindControl<QLineEdit>(QStringLiteral("edit_user_name"));
  m_pEditPassword = FindControl<QLineEdit>(QStringLiteral("edit_password"));
  m_pTableRun = FindControl<QTableWidget>(QStringLiteral("table_run"));
  if (m_pTableRun) m_pTableRun->setRowCount(static_cast<int>(m_rows.size()));
  OnLanguageChanged();
  UpdateButtons();
}

void CBatchRebootDlg::OnLanguageChanged() {
  if (auto* intro = FindControl<QLabel>(QStringLiteral("lab_intro"))) {
    intro->setText(TrText(QStringLiteral("Reboot %1 devices. Their web user name and password "
                                         "are asked once and checked with each device."))
                       .arg(m_rows.size()));
  }
  SetupResultTable(m_pTableRun,
                   {QStringLiteral("Device"), QStringLiteral("Model"), QStringLiteral("Room"),
                    QStringLiteral("State"), QStringLiteral("Time")});
  for (size_t row = 0; row < m_rows.size(); ++row) ShowRow(row);
  ShowCounts();
}

void CBatchRebootDlg::UpdateButtons() {
  const bool running = Running();
  auto show = [this](const char* name, bool visible) {
    if (auto* b = FindControl<QAbstractButton>(QString::fromLatin1(name))) b->setVisible(visible);
  };
  show("btn_start", !m_started);
  show("btn_cancel", !m_started || running);
  show("btn_ok", m_started && !running);
  if (auto* page = FindControl<QWidget>(QStringLiteral("page_login"))) page->setVisible(!m_started);
  if (auto* page = FindControl<QWidget>(QStringLiteral("page_run"))) page->setVisible(m_started);
  if (auto* b = FindControl<QAbstractButton>(QStringLiteral("btn_cancel")))
    b->setEnabled(!(m_cancelled && running));
}

void CBatchRebootDlg::OnBtnStartClicked(TNotifyMsg&) {
  const std::string user = m_pEditUser ? m_pEditUser->text().toStdString() : std::string();
  std::string password = m_pEditPassword ? m_pEditPassword->text().toStdString() : std::string();
  if (user.empty() || password.empty()) {
    ShowMessageBox(this, QStringLiteral("Reboot"),
                   QStringLiteral("User or password can not be empty."), MB_OK);
    return;
  }
  if (m_pEditPassword) m_pEditPassword->clear();
  std::vector<DEVICE_ENTRY_T> devices;
  for (const BatchRebootRow& row : m_rows) devices.push_back(row.device);
  m_run = std::make_unique<CBatchRebootRun>(*CControl::GetInstance(), *m_waits, SteadyOpClock(),
                                            devices);
  m_run->changed = [this](size_t row, const BatchRebootRow& state) {
    QMetaObject::invokeMethod(
        this, [this, row, state] { OnRow(row, state); }, Qt::QueuedConnection);
  };
  m_started = true;
  CBatchRebootRun* run = m_run.get();
  m_thread = std::thread([this, run, user, password]() mutable {
    run->Run(user, std::move(password));
    RecordSiteOperation(BatchRebootOperation(run->Rows(), "window", {{"user", user}}));
    QMetaObject::invokeMethod(
        this, [this] { OnDone(); }, Qt::QueuedConnection);
  });
  std::fill(password.begin(), password.end(), '\0');
  UpdateButtons();
  ShowCounts();
}

void CBatchRebootDlg::OnRow(size_t row, const BatchRebootRow& state) {
  if (row >= m_rows.size()) return;
  m_rows[row] = state;
  ShowRow(row);
  ShowCounts();
}

void CBatchRebootDlg::OnDone() {
  if (m_thread.joinable()) m_thread.join();
  bool credentialRefused = false;
  if (m_run) {
    for (size_t row = 0; row < m_run->Rows().size(); ++row) OnRow(row, m_run->Rows()[row]);
    credentialRefused = m_run->CredentialRefused();
  }
  m_run.reset();
  if (credentialRefused && !m_cancelled) {
    // No device was rebooted: back to the credential page for another try.
    for (size_t row = 0; row < m_rows.size(); ++row) {
      m_rows[row].state = State::kWaiting;
      ShowRow(row);
    }
    m_started = false;
    UpdateButtons();
    ShowMessageBox(this, QStringLiteral("Reboot"),
                   QStringLiteral("The devices refused the user name or password; it was not "
                                  "tried on the others. Enter it again."),
                   MB_OK);
    if (m_pEditPassword) m_pEditPassword->setFocus();
    ShowCounts();
    return;
  }
  UpdateButtons();
  ShowCounts();
}

void CBatchRebootDlg::ShowRow(size_t row) {
  if (!m_pTableRun) return;
  const BatchRebootRow& r = m_rows[row];
  const int at = static_cast<int>(row);
  SetResultCell(m_pTableRun, at, 0,
                QStringLiteral("%1   %2").arg(Text(r.device.ip), Text(r.device.mac)));
  SetResultCell(m_pTableRun, at, 1, Text(r.device.model));
  SetResultCell(m_pTableRun, at, 2, Text(r.device.deviceId));
  SetResultCell(m_pTableRun, at, 3, TrText(StateText(r.state)));
  SetResultCell(m_pTableRun, at, 4,
                r.state == State::kRebooted || r.state == State::kNoBootUp
                    ? QStringLiteral("%1 s").arg((r.elapsed.count() + 500) / 1000)
                    : QString());
}

void CBatchRebootDlg::ShowCounts() {
  if (!m_pLabelCounts) return;
  size_t rebooted = 0, failed = 0, running = 0;
  for (const BatchRebootRow& r : m_rows) {
    if (r.state == State::kRebooted) {
      ++rebooted;
    } else if (r.Final()) {
      ++failed;
    } else if (r.state != State::kWaiting) {
      ++running;
    }
  }
  m_pLabelCounts->setText(TrText(QStringLiteral("Rebooted: %1   Failed: %2   Running: %3"))
                              .arg(rebooted)
                              .arg(failed)
                              .arg(running));
}

void CBatchRebootDlg::OnBtnCancelClicked(TNotifyMsg&) {
  if (!Running()) {
    Close(m_started ? IDOK : IDCANCEL);
    return;
  }
  if (m_cancelled) return;
  if (ShowMessageBox(this, QStringLiteral("Reboot"),
                     QStringLiteral("Stop the reboot? No further device is asked; the devices "
                                    "already rebooting are followed until they are back."),
                     MB_YESNO) != IDYES)
    return;
  m_cancelled = true;
  if (m_run) m_run->StopStarting();
  UpdateButtons();
}

void CBatchRebootDlg::OnBtnOkClicked(TNotifyMsg&) {
  if (!Running()) Close(IDOK);
}
