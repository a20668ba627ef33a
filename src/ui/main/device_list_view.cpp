#include "ui/main/device_list_view.h"

#include <QEvent>
#include <QHelpEvent>
#include <QLabel>
#include <QListView>
#include <QMouseEvent>
#include <QToolTip>

#include "ui/main/device_list_model.h"

CDeviceListView::CDeviceListView(QListView* view, CDeviceListModel* model, QWidget* rowTemplate)
    : QObject(view), m_view(view), m_model(model) {
  if (rowTemplate && !rowTemplate->parent())
    rowTemplate->setParent(view, rowTemplate->windowFlags());
  m_painter = new CDeviceRowPainter(rowTemplate, this);
  view->setModel(model);
  view->setItemDelegate(m_painter);
  view->setUniformItemSizes(true);
  view->setSelectionMode(QAbstractItemView::SingleSelection);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
  view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  view->setMouseTracking(true);
  view->viewport()->setMouseTracking(true);
  view->viewport()->setAttribute(Qt::WA_Hover);
  view->viewport()->installEventFilter(this);
  m_emptyLabel = new QLabel(view->viewport());
  m_emptyLabel->setObjectName(QStringLiteral("lab_list_empty"));
  m_emptyLabel->setAlignment(Qt::AlignCenter);
  m_emptyLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
  m_emptyLabel->hide();
  connect(model, &QAbstractItemModel::rowsInserted, this, &CDeviceListView::UpdateEmptyLabel);
  connect(model, &QAbstractItemModel::rowsRemoved, this, &CDeviceListView::UpdateEmptyLabel);
  connect(model, &QAbstractItemModel::modelReset, this, &CDeviceListView::UpdateEmptyLabel);
  connect(view, &QListView::clicked, this, [this](const QModelIndex& index) {
    if (index.isValid() && m_pressed.part == CDeviceRowPainter::kNoPart)
      emit ItemClicked(index.row());
  });
}

void CDeviceListView::SetEmptyText(const QString& text) {
  m_emptyLabel->setText(text);
  UpdateEmptyLabel();
}

void CDeviceListView::UpdateEmptyLabel() {
  if (!m_view) return;
  m_emptyLabel->setGeometry(m_view->viewport()->rect());
  m_emptyLabel->setVisible(m_model->Count() == 0 && !m_emptyLabel->text().isEmpty());
}

QRect CDeviceListView::PartRect(int row, CDeviceRowPainter::Part part) const {
  QRect rowRect = m_view->visualRect(m_model->index(row));
  if (!rowRect.isValid()) return {};
  QRect rect = m_painter->PartRect(part, rowRect.width());
  return rect.isEmpty() ? QRect() : rect.translated(rowRect.topLeft());
}

QRect CDeviceListView::ButtonRect(int row, const QString& name) const {
  const CDeviceRowPainter::Part part = CDeviceRowPainter::PartNamed(name);
  return m_painter->IsButton(part) ? PartRect(row, part) : QRect();
}

CDeviceListView::Hit CDeviceListView::HitAt(const QPoint& point) const {
  Hit hit;
  QModelIndex index = m_view->indexAt(point);
  if (!index.isValid()) return hit;
  QRect rowRect = m_view->visualRect(index);
  hit.row = index.row();
  hit.part = m_painter->PartAt(point - rowRect.topLeft(), rowRect.width());
  return hit;
}

void CDeviceListView::SetHot(const Hit& hit, bool pressed) {
  bool changed = hit.row != m_hot.row || hit.part != m_hot.part;
  int oldRow = m_hot.row;
  m_hot = hit;
  m_painter->SetHot(hit.row, hit.part, pressed);
  m_view->viewport()->setCursor(m_painter->IsButton(hit.part) ? Qt::PointingHandCursor
                                                              : Qt::ArrowCursor);
  if (oldRow >= 0 && changed) m_view->update(m_model->index(oldRow));
  if (hit.row >= 0) m_view->update(m_model->index(hit.row));
}

bool CDeviceListView::eventFilter(QObject* watched, QEvent* event) {
  if (!m_view || watched != m_view->viewport()) return false;
  switch (event->type()) {
    case QEvent::Resize:
      UpdateEmptyLabel();
      return false;
    case QEvent::MouseMove: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      Hit hit = HitAt(mouse->position().toPoint());
      bool pressed = m_pressed.part != CDeviceRowPainter::kNoPart && hit.row == m_pressed.row &&
                     hit.part == m_pressed.part;
      SetHot(hit, pressed);
      return false;
    }
    case QEvent::Leave:
      SetHot(Hit(), false);
      return false;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      Hit hit = HitAt(mouse->position().toPoint());
      if (mouse->button() != Qt::LeftButton || !m_painter->IsButton(hit.part)) {
        m_pressed = Hit();
        return false;
      }
      m_pressed = hit;
      SetHot(hit, true);
      return true;  // a button press neither selects nor drags the row
    }
    case QEvent::MouseButtonRelease: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (m_pressed.part == CDeviceRowPainter::kNoPart) return false;
      Hit pressed = m_pressed;
      m_pressed = Hit();
      Hit hit = HitAt(mouse->position().toPoint());
      SetHot(hit, false);
      if (mouse->button() != Qt::LeftButton || hit.row != pressed.row || hit.part != pressed.part) {
        return true;
      }
      switch (hit.part) {
        case CDeviceRowPainter::kIpCopy:
          emit IpCopyClicked(hit.row);
          break;
        case CDeviceRowPainter::kMacCopy:
          emit MacCopyClicked(hit.row);
          break;
        case CDeviceRowPainter::kUpgrade:
          emit UpgradeClicked(hit.row);
          break;
        default:
          break;
      }
      return true;
    }
    case QEvent::ToolTip: {
      auto* help = static_cast<QHelpEvent*>(event);
      Hit hit = HitAt(help->pos());
      QString tip;
      if (hit.part != CDeviceRowPainter::kNoPart) {
        tip = m_painter->PartToolTip(hit.part);
      } else if (hit.row >= 0) {
        // Long texts are elided in the row: show the full text of the column under the mouse.
        QRect rowRect = m_view->visualRect(m_model->index(hit.row));
        const CDeviceListItem* row = m_model->RowAt(hit.row);
        for (int part = CDeviceRowPainter::kIp; part <= CDeviceRowPainter::kFirmware && row;
             ++part) {
          auto p = static_cast<CDeviceRowPainter::Part>(part);
          QRect r = m_painter->PartRect(p, rowRect.width()).translated(rowRect.topLeft());
          if (r.contains(help->pos())) tip = CDeviceRowPainter::PartText(*row, p);
        }
      }
      if (tip.isEmpty()) {
        QToolTip::hideText();
      } else {
        QToolTip::showText(help->globalPos(), tip, m_view->viewport());
      }
      return true;
    }
    default:
      return false;
  }
}
