#include "ui/staticip/set_static_ip_detail_model.h"

#include <QStringList>

#include "core/common/mac_text.h"
#include "ui/framework/translate_manager.h"
#include "ui/staticip/static_ip_row_painter.h"

CSetStaticIPDetailItem::CSetStaticIPDetailItem(const DEVICE_ENTRY_T& device)
    : m_device(device),
      m_ipText(QString::fromStdString(device.ip)),
      // Shown in the list's one spelling; the record keeps the device's own for what is sent.
      m_macText(QString::fromStdString(DisplayMacText(device.mac))),
      m_modelText(QString::fromStdString(device.model)) {}

void CSetStaticIPDetailItem::SetStatus(int status, BatchFailure failure) {
  if (IsFinished()) return;  // a finished row never changes again
  m_status = status;
  m_failure = failure;
}

QString CSetStaticIPDetailItem::StatusText() const {
  return TrText(QString::fromLatin1(BatchStatusText(m_status)));
}

QStringList CSetStaticIPDetailModel::PartNames() {
  return {QStringLiteral("lab_ip"), QStringLiteral("lab_mac"), QStringLiteral("lab_model"),
          QStringLiteral("lab_status")};
}

CSetStaticIPDetailModel::CSetStaticIPDetailModel(const std::vector<DEVICE_ENTRY_T>& devices,
                                                 QObject* parent)
    : QAbstractListModel(parent) {
  m_rows.reserve(devices.size());
  for (const DEVICE_ENTRY_T& device : devices) m_rows.emplace_back(device);
}

int CSetStaticIPDetailModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : Count();
}

const CSetStaticIPDetailItem* CSetStaticIPDetailModel::RowAt(int row) const {
  return row >= 0 && row < Count() ? &m_rows[static_cast<size_t>(row)] : nullptr;
}

QVariant CSetStaticIPDetailModel::data(const QModelIndex& index, int role) const {
  const CSetStaticIPDetailItem* row = index.isValid() ? RowAt(index.row()) : nullptr;
  if (!row) return {};
  switch (role) {
    case Qt::DisplayRole:
    case CStaticIpRowPainter::PartRole(kIp):
      return row->IpText();
    case CStaticIpRowPainter::PartRole(kMac):
      return row->MacText();
    case CStaticIpRowPainter::PartRole(kModel):
      return row->ModelText();
    case CStaticIpRowPainter::PartRole(kStatus):
      return row->StatusText();
    case CStaticIpRowPainter::kTagRole:
      return row->GetStatus();
    case Qt::ToolTipRole:
      return TrText(QString::fromLatin1(BatchFailureText(row->GetFailure())));
    default:
      return {};
  }
}

void CSetStaticIPDetailModel::SetStatus(int row, int status, BatchFailure failure) {
  if (row < 0 || row >= Count()) return;
  m_rows[static_cast<size_t>(row)].SetStatus(status, failure);
  emit dataChanged(index(row), index(row));
}

QString CSetStaticIPDetailModel::DumpText() const {
  QString text;
  for (const CSetStaticIPDetailItem& row : m_rows) {
    text += QStringList{QString::fromLatin1(BatchStatusText(row.GetStatus())), row.IpText(),
                        row.MacText(), row.ModelText(),
                        QString::fromLatin1(BatchFailureText(row.GetFailure()))}
                .join('\t');
    text += '\n';
  }
  return text;
}
