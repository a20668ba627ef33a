#include "ui/main/device_selection.h"

#include <QItemSelectionModel>
#include <QListView>
#include <QMouseEvent>
#include <algorithm>

#include "core/common/mac_text.h"
#include "ui/main/device_list_model.h"

CDeviceSelection::CDeviceSelection(QListView* view, CDeviceListModel* model)
    : QObject(view), m_view(view), m_model(model) {
  view->setSelectionMode(QAbstractItemView::ExtendedSelection);
  connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &CDeviceSelection::OnSelectionChanged);
  // A reset (filter, search, refresh) drops the view's selection without telling; rows that come
  // back are selected again from the kept MACs.
  connect(model, &QAbstractItemModel::modelAboutToBeReset, this, [this] { m_applying = true; });
  connect(model, &QAbstractItemModel::modelReset, this, [this] {
    m_applying = false;
    Reapply();
  });
  connect(model, &QAbstractItemModel::rowsInserted, this, &CDeviceSelection::Reapply);
  view->viewport()->installEventFilter(this);
}

bool CDeviceSelection::eventFilter(QObject* watched, QEvent* event) {
  if (m_view && watched == m_view->viewport() && event->type() == QEvent::MouseButtonPress) {
    const auto modifiers = static_cast<QMouseEvent*>(event)->modifiers();
    m_lastClickExtended =
        modifiers.testFlag(Qt::ControlModifier) || modifiers.testFlag(Qt::ShiftModifier);
  }
  return false;
}

void CDeviceSelection::OnSelectionChanged(const QItemSelection& selected,
                                          const QItemSelection& deselected) {
  if (m_applying) return;
  for (const QModelIndex& index : deselected.indexes()) {
    if (const CDeviceListItem* row = m_model->RowAt(index.row()))
      m_macs.erase(CompactMacText(row->Device().mac));
  }
  for (const QModelIndex& index : selected.indexes()) {
    if (const CDeviceListItem* row = m_model->RowAt(index.row()))
      m_macs.insert(CompactMacText(row->Device().mac));
  }
  emit Changed();
}

void CDeviceSelection::Reapply() {
  if (!m_view || m_applying) return;
  // Nothing kept, nothing to select: rows arriving in a large list cost no pass over it.
  if (m_macs.empty() && !m_view->selectionModel()->hasSelection()) {
    emit Changed();
    return;
  }
  QItemSelection selection;
  for (int i = 0; i < m_model->Count(); ++i) {
    if (m_macs.count(CompactMacText(m_model->RowAt(i)->Device().mac)))
      selection.select(m_model->index(i), m_model->index(i));
  }
  m_applying = true;
  m_view->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
  m_applying = false;
  emit Changed();
}

std::vector<int> CDeviceSelection::SelectedRows() const {
  std::vector<int> rows;
  if (!m_view) return rows;
  for (const QModelIndex& index : m_view->selectionModel()->selectedRows())
    rows.push_back(index.row());
  std::sort(rows.begin(), rows.end());
  return rows;
}

std::vector<DEVICE_ENTRY_T> CDeviceSelection::SelectedDevices() const {
  std::vector<DEVICE_ENTRY_T> devices;
  for (int row : SelectedRows()) {
    if (const CDeviceListItem* item = m_model->RowAt(row)) devices.push_back(item->Device());
  }
  return devices;
}

int CDeviceSelection::SelectedCount() const { return static_cast<int>(SelectedRows().size()); }

void CDeviceSelection::Clear() {
  m_macs.clear();
  if (m_view) m_view->selectionModel()->clearSelection();
  emit Changed();
}
