// windows, screenshot, close, quit: the program's top-level windows as a whole.

#include <QApplication>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include "command_registry.h"
#include "widget_lookup.h"

namespace guidriver {

namespace {

Reply ListWindows(const QStringList&) {
  QStringList lines;
  for (QWidget* w : VisibleWindows()) {
    const bool modal = w->isModal() || w == QApplication::activeModalWidget();
    lines << Escaped(ClassName(w)) + QLatin1Char('\t') + Escaped(w->objectName()) +
                 QLatin1Char('\t') + Escaped(w->windowTitle()) + QLatin1Char('\t') +
                 (modal ? QLatin1Char('1') : QLatin1Char('0'));
  }
  return Ok(lines.join(QLatin1Char('\n')));
}

// Every visible window drawn where it stands on the screen, the active modal one on top.
QImage GrabAllWindows() {
  QList<QWidget*> windows = VisibleWindows();
  QRect area;
  for (QWidget* w : windows) area |= w->geometry();
  if (area.isEmpty()) return {};
  QImage image(area.size(), QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  for (auto it = windows.crbegin(); it != windows.crend(); ++it) {
    painter.drawPixmap((*it)->geometry().topLeft() - area.topLeft(), (*it)->grab());
  }
  return image;
}

Reply Screenshot(const QStringList& args) {
  const QString file = args[0];
  QImage image;
  if (args.size() > 1) {
    QString error;
    QWidget* w = FindNamed(args[1], &error);
    if (!w) return Error(error);
    if (!w->isVisible()) return Error(QStringLiteral("hidden %1").arg(args[1]));
    image = w->grab().toImage();
  } else {
    image = GrabAllWindows();
  }
  if (image.isNull()) return Error(QStringLiteral("nothing to grab"));
  if (!image.save(file, "PNG")) return Error(QStringLiteral("cannot write %1").arg(file));
  return Ok(QFileInfo(file).absoluteFilePath());
}

Reply CloseWindow(const QStringList& args) {
  QString error;
  QWidget* w = FindNamed(args[0], &error);
  if (!w) return Error(error);
  QPointer<QWidget> window = w->window();
  if (!window->isVisible()) return Error(QStringLiteral("hidden %1").arg(args[0]));
  return Do([window] {
    if (window) window->close();  // a close event, as from the window manager's close button
  });
}

// Closes the innermost modal window, then the next one once its loop has returned, and so on;
// then every other window. Each modal window's exec() must return before the one below it can
// end, so each step runs from the event loop.
void CloseStep(int stepsLeft) {
  if (stepsLeft <= 0) return;
  if (QWidget* modal = QApplication::activeModalWidget()) {
    modal->close();
  } else {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (w->isVisible()) w->close();
    }
    return;
  }
  QTimer::singleShot(20, qApp, [stepsLeft] { CloseStep(stepsLeft - 1); });
}

Reply Quit(const QStringList&) {
  return Do([] { CloseStep(50); });
}

}  // namespace

void AddWindowCommands(std::vector<Command>& table) {
  table.push_back({"windows", 0, 0, "", ListWindows});
  table.push_back({"screenshot", 1, 2, "FILE [NAME]", Screenshot});
  table.push_back({"close", 1, 1, "NAME", CloseWindow});
  table.push_back({"quit", 0, 0, "", Quit});
}

}  // namespace guidriver
