#include "ui/staticip/static_ip_list_view.h"

#include <QListView>

#include "ui/staticip/static_ip_row_painter.h"

CStaticIpListView::CStaticIpListView(QListView* view, QAbstractItemModel* model,
                                     QWidget* rowTemplate, const QStringList& parts)
    : QObject(view), m_view(view), m_partCount(static_cast<int>(parts.size())) {
  if (rowTemplate && !rowTemplate->parent())
    rowTemplate->setParent(view, rowTemplate->windowFlags());
  m_painter = new CStaticIpRowPainter(rowTemplate, parts, this);
  view->setModel(model);
  view->setItemDelegate(m_painter);
  view->setUniformItemSizes(true);
  view->setSelectionMode(QAbstractItemView::NoSelection);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
  view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  view->setMouseTracking(true);
  view->viewport()->setAttribute(Qt::WA_Hover);
  connect(view, &QListView::clicked, this, [this](const QModelIndex& index) {
    if (!index.isValid() || !m_view) return;
    const QPoint point = m_view->viewport()->mapFromGlobal(QCursor::pos());
    emit RowClicked(index.row(), PartAt(point));
  });
}

int CStaticIpListView::PartAt(const QPoint& viewportPoint) const {
  if (!m_view) return -1;
  const QModelIndex index = m_view->indexAt(viewportPoint);
  if (!index.isValid()) return -1;
  const QRect rowRect = m_view->visualRect(index);
  for (int part = 0; part < m_partCount; ++part) {
    if (m_painter->PartRect(part, rowRect.width())
            .translated(rowRect.topLeft())
            .contains(viewportPoint))
      return part;
  }
  return -1;
}
