#include "ui/support/widget_actions.h"

#include <QAbstractButton>
#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QWidget>

namespace uitest {

QWidget* FindVisible(QWidget* window, const QString& name) {
  if (!window) return nullptr;
  const QList<QWidget*> all = window->findChildren<QWidget*>(name);
  for (QWidget* w : all) {
    if (w->isVisible()) return w;
  }
  return all.isEmpty() ? nullptr : all.first();
}

void ClickAt(QWidget* target, QPoint pos, Qt::MouseButton button, Qt::KeyboardModifiers modifiers) {
  const QPointF local(pos);
  const QPointF global = target->mapToGlobal(local);
  QPointer<QWidget> alive(target);
  QMouseEvent press(QEvent::MouseButtonPress, local, global, button, button, modifiers);
  QMouseEvent release(QEvent::MouseButtonRelease, local, global, button, Qt::NoButton, modifiers);
  QApplication::sendEvent(target, &press);
  if (alive) QApplication::sendEvent(target, &release);
  if (alive && button == Qt::RightButton) {
    QContextMenuEvent menu(QContextMenuEvent::Mouse, pos, global.toPoint(), modifiers);
    QApplication::sendEvent(target, &menu);
  }
}

QString DisplayedText(const QWidget* control) {
  if (auto* label = qobject_cast<const QLabel*>(control)) return label->text();
  if (auto* button = qobject_cast<const QAbstractButton*>(control)) return button->text();
  if (auto* edit = qobject_cast<const QLineEdit*>(control)) return edit->text();
  return QString();
}

void PressKey(QWidget* target, int key, Qt::KeyboardModifiers modifiers) {
  if (!target) return;
  QWidget* receiver = target;
  if (target->isWindow() && target->focusWidget()) receiver = target->focusWidget();
  // Printable keys carry their text, as a keyboard's do (a line edit types it).
  const QString text = key >= Qt::Key_Space && key <= Qt::Key_AsciiTilde &&
                               !(modifiers & (Qt::ControlModifier | Qt::AltModifier))
                           ? QString(QChar(key)).toLower()
                           : QString();
  QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
  QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
  QApplication::sendEvent(receiver, &press);
  QApplication::sendEvent(receiver, &release);
}

}  // namespace uitest
