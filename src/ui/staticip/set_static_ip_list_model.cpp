#include "ui/staticip/set_static_ip_list_model.h"

#include <QStringList>
#include <algorithm>
#include <climits>

#include "core/common/mac_text.h"
#include "ui/main/device_list_model.h"
#include "ui/staticip/static_ip_row_painter.h"

QStringList CSetStaticIPListModel::PartNames() {
  return {QStringLiteral("checkbox_item"), QStringLiteral("lab_ip"), QStringLiteral("lab_mac"),
          QStringLiteral("lab_model")};
}

CSetStaticIPListModel::CSetStaticIPListModel(QObject* parent) : QAbstractListModel(parent) {}

CSetStaticIPListModel::~CSetStaticIPListModel() = default;

int CSetStaticIPListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : Count();
}

QVariant CSetStaticIPListModel::data(const QModelIndex& index, int role) const {
  const CSetStaticIPItem* row = index.isValid() ? RowAt(index.row()) : nullptr;
  if (!row) return {};
  switch (role) {
    case Qt::DisplayRole:
    case CStaticIpRowPainter::PartRole(kIp):
      return row->Record().IpText();
    case CStaticIpRowPainter::PartRole(kCheck):
      return row->IsChecked();
    case CStaticIpRowPainter::PartRole(kMac):
      return row->Record().MacText();
    case CStaticIpRowPainter::PartRole(kModel):
      return row->Record().ModelText();
    default:
      return {};
  }
}

const CSetStaticIPItem* CSetStaticIPListModel::RowAt(int row) const {
  return row >= 0 && row < Count() ? m_rows[static_cast<size_t>(row)].get() : nullptr;
}

int CSetStaticIPListModel::FindRow(const std::string& mac) const {
  auto it = m_byMac.find(CompactMacText(mac));
  if (it == m_byMac.end()) return -1;
  for (int i = 0; i < Count(); ++i) {
    if (m_rows[static_cast<size_t>(i)].get() == it->second) return i;
  }
  return -1;
}

void CSetStaticIPListModel::RemoveAll() {
  beginResetModel();
  m_byMac.clear();
  m_rows.clear();
  m_uncheckedCount = 0;
  endResetModel();
}

void CSetStaticIPListModel::SetSortStates(int ipState, int modelState) {
  m_ipSort = ipState;
  m_modelSort = modelState;
}

void CSetStaticIPListModel::Refresh(const std::vector<DEVICE_ENTRY_T>& table, bool checkNew) {
  std::vector<std::unique_ptr<CSetStaticIPItem>> added;
  int firstChanged = INT_MAX;
  int lastChanged = -1;
  std::unordered_map<const CSetStaticIPItem*, int> position;  // built only when a row changes

  for (const DEVICE_ENTRY_T& entry : table) {
    if (entry.mac.empty()) continue;
    std::string key = CompactMacText(entry.mac);
    auto it = m_byMac.find(key);
    if (it == m_byMac.end()) {
      added.push_back(std::make_unique<CSetStaticIPItem>(entry));
      added.back()->SetChecked(checkNew);
      m_byMac.emplace(std::move(key), added.back().get());
      continue;
    }
    CSetStaticIPItem* row = it->second;
    if (row->Device() == entry) continue;
    row->UpdateDeviceInfo(entry);
    if (position.empty()) {
      for (int i = 0; i < Count(); ++i) position.emplace(m_rows[static_cast<size_t>(i)].get(), i);
    }
    auto at = position.find(row);
    if (at != position.end()) {  // rows added in this pass have no position yet
      firstChanged = std::min(firstChanged, at->second);
      lastChanged = std::max(lastChanged, at->second);
    }
  }
  if (!added.empty()) {
    const int first = Count();
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(added.size()) - 1);
    for (auto& row : added) {
      if (!row->IsChecked()) ++m_uncheckedCount;
      m_rows.push_back(std::move(row));
    }
    endInsertRows();
  }
  if (lastChanged >= 0) emit dataChanged(index(firstChanged), index(lastChanged));
  if (m_ipSort != 0 || m_modelSort != 0) SortRows();
}

void CSetStaticIPListModel::SortRows() {
  // Same order as the main list; a merge sort stays in bounds even though the rule is not
  // transitive when valid and invalid addresses mix.
  auto less = [this](const std::unique_ptr<CSetStaticIPItem>& a,
                     const std::unique_ptr<CSetStaticIPItem>& b) {
    return CDeviceListModel::CompareDeviceRows(&a->Record(), &b->Record(), m_ipSort, m_modelSort) <
           0;
  };
  if (std::is_sorted(m_rows.begin(), m_rows.end(), less)) return;
  // The views show no selection or current row, so no persistent index needs to follow.
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  std::stable_sort(m_rows.begin(), m_rows.end(), less);
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void CSetStaticIPListModel::SetChecked(int row, bool checked, bool notify) {
  if (row < 0 || row >= Count()) return;
  CSetStaticIPItem* item = m_rows[static_cast<size_t>(row)].get();
  if (item->IsChecked() != checked) {
    m_uncheckedCount += checked ? -1 : 1;
    item->SetChecked(checked);
    emit dataChanged(index(row), index(row));
  }
  if (notify) emit CheckChanged(row);
}

void CSetStaticIPListModel::SetAllChecked(bool checked, bool notify) {
  for (auto& row : m_rows) row->SetChecked(checked);
  m_uncheckedCount = checked ? 0 : Count();
  if (Count() > 0) emit dataChanged(index(0), index(Count() - 1));
  if (!notify) return;
  for (int i = 0; i < Count(); ++i) emit CheckChanged(i);
}

bool CSetStaticIPListModel::AllChecked() const { return Count() > 0 && m_uncheckedCount == 0; }

int CSetStaticIPListModel::CheckedCount() const { return Count() - m_uncheckedCount; }

std::vector<DEVICE_ENTRY_T> CSetStaticIPListModel::CheckedDevices() const {
  std::vector<DEVICE_ENTRY_T> devices;
  for (const auto& row : m_rows) {
    if (row->IsChecked()) devices.push_back(row->GetDeviceInfo());
  }
  return devices;
}

QString CSetStaticIPListModel::DumpText() const {
  QString text;
  for (const auto& row : m_rows) {
    text += QStringList{row->IsChecked() ? QStringLiteral("1") : QStringLiteral("0"),
                        row->Record().IpText(), row->Record().MacText(), row->Record().ModelText()}
                .join('\t');
    text += '\n';
  }
  return text;
}
