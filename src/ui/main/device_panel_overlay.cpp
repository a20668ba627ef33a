#include "ui/main/device_panel_overlay.h"

#include <QEvent>
#include <QWidget>
#include <algorithm>

CDevicePanelOverlay::CDevicePanelOverlay(QWidget* panel, QWidget* list, QWidget* host)
    : QObject(host), m_panel(panel), m_list(list), m_host(host) {
  const bool visible = panel->isVisibleTo(panel->parentWidget());
  // A new parent takes the panel out of the layout it was in.
  panel->setParent(host);
  panel->setVisible(visible);
  host->installEventFilter(this);
  list->installEventFilter(this);
  panel->installEventFilter(this);
  Place();
}

void CDevicePanelOverlay::Place() {
  if (!m_panel || !m_list || !m_host) return;
  const QRect list(m_list->mapTo(m_host.data(), QPoint(0, 0)), m_list->size());
  const int width =
      std::min(std::max(m_panel->minimumWidth(), m_panel->sizeHint().width()), list.width());
  m_panel->setGeometry(list.right() + 1 - width, list.top(), width, list.height());
  m_panel->raise();
  emit CoverChanged();
}

bool CDevicePanelOverlay::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::Resize:
    case QEvent::Move:
    case QEvent::Show:
      if (watched == m_host || watched == m_list || watched == m_panel) Place();
      break;
    case QEvent::Hide:
      // Closed itself, not hidden with its window (as when the window goes away).
      if (watched == m_panel && m_panel->isHidden()) emit CoverChanged();
      break;
    default:
      break;
  }
  return false;
}
