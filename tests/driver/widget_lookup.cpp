#include "widget_lookup.h"

#include <QApplication>
#include <QWidget>

#include "ui/support/widget_actions.h"

namespace guidriver {

QList<QWidget*> VisibleWindows() {
  QList<QWidget*> modal;
  QList<QWidget*> other;
  QWidget* active = QApplication::activeModalWidget();
  if (active && active->isVisible()) modal.append(active);
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (!w->isVisible() || w == active) continue;
    (w->isModal() ? modal : other).append(w);
  }
  return modal + other;
}

namespace {

QWidget* FindIn(QWidget* window, const QString& name) {
  if (window->objectName() == name) return window;
  return uitest::FindVisible(window, name);
}

}  // namespace

QWidget* FindNamed(const QString& name, QString* error) {
  QString windowName;
  QString controlName = name;
  if (int slash = name.indexOf(QLatin1Char('/')); slash > 0) {
    windowName = name.left(slash);
    controlName = name.mid(slash + 1);
  }
  QWidget* hidden = nullptr;
  bool windowSeen = windowName.isEmpty();
  for (QWidget* window : VisibleWindows()) {
    if (!windowName.isEmpty() && window->objectName() != windowName &&
        ClassName(window) != windowName) {
      continue;
    }
    windowSeen = true;
    QWidget* found = FindIn(window, controlName);
    if (found && found->isVisible()) return found;
    if (found && !hidden) hidden = found;
  }
  if (!hidden && error) {
    *error = windowSeen ? QStringLiteral("no control %1").arg(name)
                        : QStringLiteral("no window %1").arg(windowName);
  }
  return hidden;
}

QString ClassName(const QWidget* widget) {
  return QString::fromLatin1(widget->metaObject()->className());
}

bool Inherits(const QWidget* widget, const char* className) {
  for (const QMetaObject* meta = widget->metaObject(); meta; meta = meta->superClass()) {
    if (qstrcmp(meta->className(), className) == 0) return true;
  }
  return false;
}

QString Escaped(const QString& text, bool keepTabs) {
  QString out;
  out.reserve(text.size());
  for (QChar c : text) {
    const char16_t u = c.unicode();
    if (u == '\t' && keepTabs) {
      out += c;
    } else if (u == '\t') {
      out += QLatin1String("\\t");
    } else if (u == '\n') {
      out += QLatin1String("\\n");
    } else if (u == '\r') {
      out += QLatin1String("\\r");
    } else if (u < 0x20 || u == 0x7f || (u >= 0x80 && u < 0xa0)) {
      out += QStringLiteral("\\x%1").arg(int(u), 2, 16, QLatin1Char('0'));
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace guidriver
