#include "ui/main/main_window_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QWidget>
#include <memory>

namespace {

constexpr const char* kSizeKey = "MainWindow/size";
constexpr const char* kMaximizedKey = "MainWindow/maximized";

// Per user, beside the desktop's other settings (~/.config/ipscanner/window.ini).
std::unique_ptr<QSettings> UserSettings() {
  return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                     QStringLiteral("ipscanner"), QStringLiteral("window"));
}

}  // namespace

QSize FirstOpenSize(const QRect& area, const QSize& minimum) {
  QSize size(static_cast<int>(area.width() * kFirstOpenScreenShare),
             static_cast<int>(area.height() * kFirstOpenScreenShare));
  return size.expandedTo(kComfortableSize).boundedTo(area.size()).expandedTo(minimum);
}

void PlaceMainWindow(QWidget* window) {
  if (!window) return;
  QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  const auto settings = UserSettings();
  QSize size = settings->value(QLatin1String(kSizeKey)).toSize();
  if (!size.isValid() || size.isEmpty()) size = FirstOpenSize(area, window->minimumSize());
  // The screen may have changed since: never larger than it, never smaller than the layout.
  size = size.boundedTo(area.size()).expandedTo(window->minimumSize());
  window->resize(size);
  QRect frame(QPoint(0, 0), size);
  frame.moveCenter(area.center());
  window->move(frame.topLeft());
  if (settings->value(QLatin1String(kMaximizedKey), false).toBool())
    window->setWindowState(window->windowState() | Qt::WindowMaximized);
}

void RememberMainWindow(const QWidget* window) {
  if (!window) return;
  const auto settings = UserSettings();
  const bool maximized = window->isMaximized();
  settings->setValue(QLatin1String(kMaximizedKey), maximized);
  if (!maximized) settings->setValue(QLatin1String(kSizeKey), window->size());
}
