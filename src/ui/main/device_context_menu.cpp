#include "ui/main/device_context_menu.h"

#include <QContextMenuEvent>
#include <QItemSelectionModel>
#include <QListView>
#include <QMenu>

#include "ui/framework/translate_manager.h"
#include "ui/main/device_selection.h"

CDeviceContextMenu::CDeviceContextMenu(QListView* view, CDeviceSelection* selection)
    : QObject(view), m_view(view), m_selection(selection) {
  view->viewport()->installEventFilter(this);
  view->installEventFilter(this);  // the menu key reaches the view, not its view-port
}

bool CDeviceContextMenu::eventFilter(QObject* watched, QEvent* event) {
  if (!m_view || event->type() != QEvent::ContextMenu) return false;
  auto* menu = static_cast<QContextMenuEvent*>(event);
  if (watched == m_view->viewport()) {
    Show(menu->pos(), menu->globalPos());
    return true;
  }
  if (watched == m_view && menu->reason() == QContextMenuEvent::Keyboard) {
    // At the current row, or the list's corner without one.
    const QRect current = m_view->visualRect(m_view->currentIndex());
    const QPoint at = current.isValid() ? current.center() : QPoint(8, 8);
    Show(at, m_view->viewport()->mapToGlobal(at));
    return true;
  }
  return false;
}

void CDeviceContextMenu::Show(const QPoint& viewportPos, const QPoint& globalPos) {
  const QModelIndex index = m_view->indexAt(viewportPos);
  QItemSelectionModel* selection = m_view->selectionModel();
  if (index.isValid() && !selection->isSelected(index)) {
    selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
  }
  const int count = m_selection->SelectedCount();

  QMenu menu(m_view);
  menu.setObjectName(QStringLiteral("menu_devices"));
  struct Entry {
    Action action;
    const char* name;
    const char* key;
  };
  static const Entry kEntries[] = {
      {kUpgrade, "action_upgrade", "Upgrade firmware..."},
      {kReboot, "action_reboot", "Reboot"},
      {kStaticIp, "action_static_ip", "Set static IP..."},
      {kCopyRows, "action_copy_rows", "Copy rows"},
      {kExport, "action_export", "Export selection..."},
  };
  for (const Entry& entry : kEntries) {
    if (entry.action == kCopyRows) menu.addSeparator();
    QAction* action = menu.addAction(TrText(QString::fromLatin1(entry.key)));
    action->setObjectName(QString::fromLatin1(entry.name));
    action->setData(static_cast<int>(entry.action));
    action->setEnabled(count > 0);
  }
  QAction* chosen = menu.exec(globalPos);
  if (!chosen) return;
  const int action = chosen->data().toInt();
  // After the menu's own event loop has ended: the action may open modal windows.
  QMetaObject::invokeMethod(
      this, [this, action] { emit Chosen(action); }, Qt::QueuedConnection);
}
