#include "ui/framework/mask_panel_wnd.h"

#include <QEvent>
#include <QVBoxLayout>

#include "ui/framework/dlg_builder_callback.h"

CMaskPanelWnd::CMaskPanelWnd(QWidget* owner) : m_owner(owner ? owner->window() : nullptr) {}

CMaskPanelWnd::~CMaskPanelWnd() {
  if (m_owner) {
    m_owner->removeEventFilter(this);
    // Only a mask that disabled its owner gives the state back: a dialog run without a mask
    // inside a flow under an outer mask must not re-enable the window that mask still covers.
    if (m_mask) m_owner->setEnabled(m_ownerWasEnabled);
    if (m_owner->isEnabled()) {
      m_owner->activateWindow();
      m_owner->setFocus(Qt::OtherFocusReason);
    }
  }
  delete m_mask.data();
}

int CMaskPanelWnd::ShowMask(bool show) {
  if (!show) {
    if (m_mask) m_mask->hide();
    return 1;
  }
  if (!m_owner) return 0;
  // Back from the task bar as it was: a window minimised while maximised comes back maximised.
  if (m_owner->isMinimized()) {
    m_owner->setWindowState(m_owner->windowState() & ~Qt::WindowMinimized);
    m_owner->show();
  }
  if (!m_mask) {
    m_ownerWasEnabled = m_owner->isEnabled();
    m_owner->setEnabled(false);
    auto* mask = new QWidget(m_owner);
    mask->setObjectName(QStringLiteral("MaskPanel"));
    mask->setAttribute(Qt::WA_StyledBackground);
    auto* layout = new QVBoxLayout(mask);
    layout->setContentsMargins(0, 0, 0, 0);
    QString error;
    if (QWidget* panel =
            CDlgBuilderCallback::BuildLayout(QStringLiteral("MaskPanel.xml"), mask, {}, &error)) {
      layout->addWidget(panel);
    } else {
      mask->setStyleSheet(QStringLiteral("background: rgba(15, 23, 42, 110);"));
    }
    m_mask = mask;
    m_owner->installEventFilter(this);
  }
  m_mask->setGeometry(m_owner->rect());
  m_mask->raise();
  m_mask->show();
  return 1;
}

bool CMaskPanelWnd::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_owner && m_mask &&
      (event->type() == QEvent::Resize || event->type() == QEvent::Show)) {
    m_mask->setGeometry(m_owner->rect());
    m_mask->raise();
  }
  return QObject::eventFilter(watched, event);
}
