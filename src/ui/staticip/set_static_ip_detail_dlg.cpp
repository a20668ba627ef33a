#include "ui/staticip/set_static_ip_detail_dlg.h"

#include <QLabel>
#include <QListView>

#include "core/control/control.h"
#include "record/site_operation_log.h"
#include "record/site_operation_results.h"
#include "ui/framework/device_list_common.h"
#include "ui/framework/message_box.h"
#include "ui/framework/translate_manager.h"
#include "ui/framework/ui_thread.h"
#include "ui/staticip/set_static_ip_detail_model.h"
#include "ui/staticip/static_ip_list_view.h"
#include "ui/staticip/static_ip_row_painter.h"

CSetStaticIPDetailDlg::CSetStaticIPDetailDlg(std::vector<DEVICE_ENTRY_T> devices, QWidget* parent,
                                             bool useMask, BatchStaticSender sender)
    : CBaseDlg(QString(), parent, useMask),
      m_run(devices, std::move(sender)),
      m_model(new CSetStaticIPDetailModel(devices, this)) {
  m_run.SetRowChanged([this](size_t row) {
    const BatchStaticRow& r = m_run.Rows()[row];
    m_model->SetStatus(static_cast<int>(row), r.status, r.failure);
  });
  // Worker thread: hand the queued reports to the UI thread without waiting for it.
  m_run.SetReportWake([this] { PostToUiThread(this, [this] { ApplyReports(); }); });
  CControl::GetInstance()->AddNotify(this);
}

CSetStaticIPDetailDlg::~CSetStaticIPDetailDlg() {
  m_run.Stop();
  // Each device's result as the run ended (a row still configuring was stopped by the close).
  if (m_started) RecordSiteOperation(StaticOperation(m_run.Rows(), "window"));
  // Waits for a report being handled on the worker thread; none comes after it.
  CControl::GetInstance()->RemoveNotify(this);
}

IPS_BEGIN_MESSAGE_MAP(CSetStaticIPDetailDlg, CBaseDlg)
IPS_ON_MSGTYPE("timer", OnTimer)
IPS_ON_CLICK("btn_ok", OnBtnOkClicked)
IPS_END_MESSAGE_MAP()

void CSetStaticIPDetailDlg::InitWindow() {
  m_pListDevice = FindControl<QListView>(QStringLiteral("list_device"));
  m_pLabelDeviceCount = FindControl<QLabel>(QStringLiteral("lab_device_count"));
  m_pLabelSuccessCount = FindControl<QLabel>(QStringLiteral("lab_success_count"));
  m_pLabelFailedCount = FindControl<QLabel>(QStringLiteral("lab_failed_count"));
  m_pLabelConfiguringCount = FindControl<QLabel>(QStringLiteral("lab_configuring_count"));
  if (m_pListDevice) {
    QString error;
    QWidget* rowTemplate =
        CStaticIpRowPainter::LoadTemplate(QStringLiteral("SetStaticIPStatusListItem.xml"),
                                          QStringLiteral("item_static_ip_status"), &error);
    if (!rowTemplate) qWarning("CSetStaticIPDetailDlg: %s", qPrintable(error));
    m_listView = new CStaticIpListView(m_pListDevice, m_model, rowTemplate,
                                       CSetStaticIPDetailModel::PartNames());
  }
  m_run.Start();
  m_started = true;
  UpdateCounts();
  StartTimer(CBatchStaticRun::kWaitTimerId, CBatchStaticRun::kWaitPeriodMs);
}

void CSetStaticIPDetailDlg::StartTimer(int id, int periodMs) { SetTimer(GetRoot(), id, periodMs); }

void CSetStaticIPDetailDlg::StopTimer(int id) { KillTimer(GetRoot(), id); }

void CSetStaticIPDetailDlg::OnTimer(TNotifyMsg& msg) {
  if (msg.wParam == CBatchStaticRun::kPollTimerId) {
    if (m_run.OnPollTick()) StopTimer(CBatchStaticRun::kPollTimerId);
  } else if (msg.wParam == CBatchStaticRun::kWaitTimerId) {
    if (m_run.OnWaitTick()) {
      StopTimer(CBatchStaticRun::kWaitTimerId);
      StartTimer(CBatchStaticRun::kPollTimerId, CBatchStaticRun::kPollPeriodMs);
    }
  } else {
    return;
  }
  UpdateCounts();
}

void CSetStaticIPDetailDlg::OnReportConfig(std::string deviceKey, std::string, int,
                                           const std::vector<std::string>* items) {
  if (m_closing) return;
  m_run.OnReportConfig(deviceKey, items);
}

void CSetStaticIPDetailDlg::ApplyReports() {
  if (m_closing) return;
  m_run.ApplyReports();
  UpdateCounts();
}

void CSetStaticIPDetailDlg::UpdateCounts() {
  struct Count {
    QLabel* label;
    size_t value;
  };
  const Count counts[] = {{m_pLabelDeviceCount, m_run.Rows().size()},
                          {m_pLabelSuccessCount, m_run.CountStatus(kBatchSuccess)},
                          {m_pLabelFailedCount, m_run.CountStatus(kBatchFailed)},
                          {m_pLabelConfiguringCount, m_run.CountStatus(kBatchConfiguring)}};
  for (const Count& c : counts) {
    if (!c.label) continue;
    const QString key = c.label->property("text_format").toString();
    c.label->setText(FormatCount(TrText(key), static_cast<int>(c.value)));
  }
}

void CSetStaticIPDetailDlg::OnBtnOkClicked(TNotifyMsg&) { Close(IDOK); }

bool CSetStaticIPDetailDlg::OnClose() {
  if (!m_run.AllFinished() &&
      ShowMessageBox(this, QStringLiteral("Confirmation"),
                     QStringLiteral("The configuration is not completed. Are you sure you want to "
                                    "close the pop-up window?"),
                     MB_YESNO) != IDYES) {
    return false;
  }
  // No report acts on rows from now on; the rows go away with the window.
  m_closing = true;
  m_run.Stop();
  return true;
}

void CSetStaticIPDetailDlg::done(int code) {
  if (!OnClose()) return;
  CBaseDlg::done(code);
}
