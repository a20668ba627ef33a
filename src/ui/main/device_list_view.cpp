#include "ui/main/device_list_view.h"

#include <QEvent>
#include <QHelpEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMouseEvent>
#include <QToolTip>
#include <iterator>

#include "ui/main/device_list_model.h"
#include "ui/main/device_site_marks.h"

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
  view->installEventFilter(this);  // keys reach the view, not its view-port
  view->setFocusPolicy(Qt::StrongFocus);
  connect(view->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) {
            // The button reached with the keyboard moves along with the current row.
            if (m_keyPart != CDeviceRowPainter::kNoPart && current.isValid())
              SetHot(Hit{current.row(), m_keyPart}, false);
          });
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
  if (name == QLatin1String("badge")) return BadgeRect(row);
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

void CDeviceListView::PressButton(const Hit& hit) {
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
}

bool CDeviceListView::OnKey(QKeyEvent* key) {
  const int row = m_view->currentIndex().isValid() ? m_view->currentIndex().row() : -1;
  if (row < 0) return false;
  // Left and Right step through the current row's buttons (shown as under the mouse), Space
  // and Enter press the one reached; Up and Down keep it on the row they move to.
  static const CDeviceRowPainter::Part kButtons[] = {
      CDeviceRowPainter::kIpCopy, CDeviceRowPainter::kMacCopy, CDeviceRowPainter::kUpgrade};
  const int count = static_cast<int>(std::size(kButtons));
  int at = -1;
  for (int i = 0; i < count; ++i) {
    if (m_keyPart == kButtons[i]) at = i;
  }
  switch (key->key()) {
    case Qt::Key_Right:
    case Qt::Key_Left: {
      at = key->key() == Qt::Key_Right ? (at + 1) % count : (at <= 0 ? count - 1 : at - 1);
      m_keyPart = kButtons[at];
      SetHot(Hit{row, m_keyPart}, false);
      return true;
    }
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (m_keyPart == CDeviceRowPainter::kNoPart) return false;
      PressButton(Hit{row, m_keyPart});
      return true;
    case Qt::Key_Escape:
      m_keyPart = CDeviceRowPainter::kNoPart;
      SetHot(Hit(), false);
      return m_hot.row >= 0;
    default:
      return false;
  }
}

bool CDeviceListView::eventFilter(QObject* watched, QEvent* event) {
  if (!m_view) return false;
  if (watched == m_view) {
    if (event->type() == QEvent::KeyPress) return OnKey(static_cast<QKeyEvent*>(event));
    return false;
  }
  if (watched != m_view->viewport()) return false;
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
      if (mouse->button() == Qt::LeftButton && event->type() == QEvent::MouseButtonPress &&
          BadgeRect(hit.row).contains(mouse->position().toPoint())) {
        emit BadgeClicked(hit.row, mouse->globalPosition().toPoint());
        return true;
      }
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
      PressButton(hit);
      return true;
    }
    case QEvent::ToolTip: {
      auto* help = static_cast<QHelpEvent*>(event);
      Hit hit = HitAt(help->pos());
      // The status dot and the problem badge first; they lie over the index and firmware texts.
      QString tip = SiteMarkToolTip(hit.row, help->pos());
      if (tip.isEmpty() && hit.part != CDeviceRowPainter::kNoPart) {
        tip = m_painter->PartToolTip(hit.part);
      } else if (tip.isEmpty() && hit.row >= 0) {
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

QRect CDeviceListView::BadgeRect(int row) const {
  const CDeviceSiteMarks* marks = m_painter->SiteMarks();
  const CDeviceListItem* item = m_model->RowAt(row);
  if (!marks || !item) return {};
  QRect dotSpace, badgeSpace;
  m_painter->SiteMarkSpaces(*item, m_view->visualRect(m_model->index(row)), &dotSpace, &badgeSpace);
  return marks->BadgeRect(item->Device().mac, badgeSpace);
}

QString CDeviceListView::SiteMarkToolTip(int row, const QPoint& viewportPoint) const {
  const CDeviceSiteMarks* marks = m_painter->SiteMarks();
  const CDeviceListItem* item = m_model->RowAt(row);
  if (!marks || !item) return {};
  const QRect rowRect = m_view->visualRect(m_model->index(row));
  QRect dotSpace, badgeSpace;
  m_painter->SiteMarkSpaces(*item, rowRect, &dotSpace, &badgeSpace);
  const std::string& mac = item->Device().mac;
  // The dot is small: a few pixels around it count.
  if (CDeviceSiteMarks::DotRect(dotSpace).adjusted(-4, -6, 4, 6).contains(viewportPoint))
    return marks->StatusToolTip(mac);
  if (marks->BadgeRect(mac, badgeSpace).contains(viewportPoint)) return marks->ProblemToolTip(mac);
  return {};
}
