#include "ui/staticip/set_static_ip_dlg.h"

#include <QAbstractButton>
#include <QLabel>
#include <QListView>
#include <QSignalBlocker>

#include "core/control/control.h"
#include "ui/framework/device_list_common.h"
#include "ui/framework/message_box.h"
#include "ui/framework/notify_hub.h"
#include "ui/framework/translate_manager.h"
#include "ui/main/sort_arrow.h"
#include "ui/staticip/set_static_ip_list_model.h"
#include "ui/staticip/static_ip_list_view.h"
#include "ui/staticip/static_ip_row_painter.h"

namespace {

int SortState(const QAbstractButton* button) {
  return button ? static_cast<int>(GetTag(button)) : 0;
}

void SetSortState(QAbstractButton* button, int state) {
  if (button) SetTag(button, static_cast<quintptr>(state));
}

}  // namespace

CSetStaticIPDlg::CSetStaticIPDlg(QWidget* parent, bool useMask)
    : CBaseDlg(QString(), parent, useMask), m_model(new CSetStaticIPListModel(this)) {}

CSetStaticIPDlg::~CSetStaticIPDlg() = default;

IPS_BEGIN_MESSAGE_MAP(CSetStaticIPDlg, CBaseDlg)
IPS_ON_MSGTYPE("timer", OnTimer)
IPS_ON_CLICK("btn_refresh", OnBtnRefreshClicked)
IPS_ON_CLICK("btn_ok", OnBtnOkClicked)
IPS_ON_CLICK("btn_cancel", OnBtnCancelClicked)
IPS_ON_CLICK("btn_ip_sort", OnBtnIpSortClicked)
IPS_ON_CLICK("btn_model_sort", OnBtnModelSortClicked)
IPS_ON_SELECTCHANGED("checkbox_all", OnCheckAllSelectChanged)
IPS_ON_SELECTCHANGED("checkbox_item", OnCheckItemSelectChanged)
IPS_END_MESSAGE_MAP()

void CSetStaticIPDlg::InitWindow() {
  m_pListDevice = FindControl<QListView>(QStringLiteral("list_device"));
  m_pCheckAll = FindControl<QAbstractButton>(QStringLiteral("checkbox_all"));
  m_pBtnIpSort = FindControl<QAbstractButton>(QStringLiteral("btn_ip_sort"));
  m_pBtnModelSort = FindControl<QAbstractButton>(QStringLiteral("btn_model_sort"));
  m_pLabelDeviceCount = FindControl<QLabel>(QStringLiteral("lab_device_count"));

  if (m_pListDevice) {
    QString error;
    QWidget* rowTemplate = CStaticIpRowPainter::LoadTemplate(
        QStringLiteral("SetStaticIPListItem.xml"), QStringLiteral("item_static_ip"), &error);
    if (!rowTemplate) qWarning("CSetStaticIPDlg: %s", qPrintable(error));
    m_listView = new CStaticIpListView(m_pListDevice, m_model, rowTemplate,
                                       CSetStaticIPListModel::PartNames());
    connect(m_listView, &CStaticIpListView::RowClicked, this,
            [this](int row, int) { OnRowClicked(row); });
  }
  // A row's checkbox change is the "selectchanged" of checkbox_item, as with a row control.
  connect(m_model, &CSetStaticIPListModel::CheckChanged, this, [this](int row) {
    QWidget* sender =
        m_listView ? m_listView->Painter()->PartControl(CSetStaticIPListModel::kCheck) : nullptr;
    if (!sender) return;
    TNotifyMsg msg;
    msg.sType = QString::fromLatin1(kNotifySelectChanged);
    msg.pSender = sender;
    msg.wParam = row;
    GetManager()->SendNotify(msg);
  });

  SetSortState(m_pBtnIpSort, 1);
  UpdateSortImage(GetRoot(), m_pBtnIpSort);
  SetSortState(m_pBtnModelSort, 0);
  UpdateSortImage(GetRoot(), m_pBtnModelSort);
  RefreshDeviceList();
  StartRefreshTimer();
}

void CSetStaticIPDlg::StartRefreshTimer() {
  SetTimer(GetRoot(), kRefreshTimerId, kRefreshPeriodMs);
}

void CSetStaticIPDlg::OnTimer(TNotifyMsg& msg) {
  if (msg.wParam == kRefreshTimerId) RefreshDeviceList();
}

bool CSetStaticIPDlg::CheckAllState() const { return m_pCheckAll && m_pCheckAll->isChecked(); }

void CSetStaticIPDlg::RefreshDeviceList() {
  if (!m_pListDevice) return;
  m_model->SetSortStates(SortState(m_pBtnIpSort), SortState(m_pBtnModelSort));
  m_model->Refresh(CControl::GetInstance()->GetDeviceList(), CheckAllState());
  UpdateDeviceCount();
}

void CSetStaticIPDlg::UpdateDeviceCount() {
  if (!m_pLabelDeviceCount) return;
  const QString key = m_pLabelDeviceCount->property("text_format").toString();
  m_pLabelDeviceCount->setText(FormatCount(TrText(key), m_model->Count()));
}

void CSetStaticIPDlg::ToggleSort(QAbstractButton* button, QAbstractButton* other) {
  if (!button) return;
  SetSortState(button, SortState(button) == 1 ? 2 : 1);
  UpdateSortImage(GetRoot(), button);
  SetSortState(other, 0);
  UpdateSortImage(GetRoot(), other);
  RefreshDeviceList();
}

void CSetStaticIPDlg::OnBtnIpSortClicked(TNotifyMsg&) { ToggleSort(m_pBtnIpSort, m_pBtnModelSort); }

void CSetStaticIPDlg::OnBtnModelSortClicked(TNotifyMsg&) {
  ToggleSort(m_pBtnModelSort, m_pBtnIpSort);
}

void CSetStaticIPDlg::OnRowClicked(int row) {
  const CSetStaticIPItem* item = m_model->RowAt(row);
  if (item) m_model->SetChecked(row, !item->IsChecked(), true);
}

void CSetStaticIPDlg::OnCheckAllSelectChanged(TNotifyMsg& msg) {
  if (msg.pSender != m_pCheckAll || !m_pListDevice) return;
  m_model->SetAllChecked(m_pCheckAll->isChecked(), true);
}

void CSetStaticIPDlg::OnCheckItemSelectChanged(TNotifyMsg&) {
  if (!m_pCheckAll) return;
  const QSignalBlocker quiet(m_pCheckAll);
  m_pCheckAll->setChecked(m_pListDevice && m_model->AllChecked());
}

void CSetStaticIPDlg::OnBtnRefreshClicked(TNotifyMsg&) {
  if (m_pListDevice) m_model->RemoveAll();
  if (m_pCheckAll) {
    const QSignalBlocker quiet(m_pCheckAll);
    m_pCheckAll->setChecked(true);
  }
  CControl::GetInstance()->ClearDevices();
  CControl::GetInstance()->MulticastDiscoveryMsg();
  RefreshDeviceList();
}

void CSetStaticIPDlg::OnBtnOkClicked(TNotifyMsg&) {
  m_selectedDevices.clear();
  std::vector<DEVICE_ENTRY_T> chosen = m_model->CheckedDevices();
  if (chosen.empty()) {
    ShowMessageBox(this, QStringLiteral("Confirmation"),
                   QStringLiteral("Please select the devices to set as static IP."), MB_OK);
    return;
  }
  m_selectedDevices = std::move(chosen);
  Close(IDOK);
}

void CSetStaticIPDlg::OnBtnCancelClicked(TNotifyMsg&) { Close(IDCANCEL); }
