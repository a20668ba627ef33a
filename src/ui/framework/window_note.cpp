#include "ui/framework/window_note.h"

#include <QLabel>
#include <QTimer>
#include <QWidget>
#include <algorithm>

namespace {

constexpr const char* kNoteName = "window_note";
constexpr int kBottomGap = 56;  // above the window's footer line

}  // namespace

void ShowWindowNote(QWidget* anyWidget, const QString& text, int ms) {
  if (!anyWidget) return;
  QWidget* window = anyWidget->window();
  if (QLabel* old = CurrentWindowNote(window)) {
    old->hide();
    old->deleteLater();
  }
  auto* note = new QLabel(window);
  note->setObjectName(QLatin1String(kNoteName));
  note->setTextFormat(Qt::PlainText);
  note->setWordWrap(true);
  note->setAlignment(Qt::AlignCenter);
  note->setAttribute(Qt::WA_TransparentForMouseEvents);
  note->setStyleSheet(QStringLiteral(
      "QLabel#window_note { background: #1f2937; color: #ffffff; border-radius: 8px; "
      "padding: 10px 18px; font-weight: bold; }"));
  note->setText(text);
  const int maxWidth = std::max(200, window->width() * 3 / 5);
  note->setMaximumWidth(maxWidth);
  note->adjustSize();
  const QSize size = note->sizeHint().boundedTo(QSize(maxWidth, window->height()));
  note->setGeometry(
      (window->width() - size.width()) / 2,
      std::max(0, window->height() - size.height() - kBottomGap), size.width(),
      note->heightForWidth(size.width()) > 0 ? note->heightForWidth(size.width()) : size.height());
  note->show();
  note->raise();
  QTimer::singleShot(ms, note, [note] {
    note->hide();
    note->deleteLater();
  });
}

QLabel* CurrentWindowNote(const QWidget* anyWidget) {
  if (!anyWidget) return nullptr;
  for (QLabel* note : anyWidget->window()->findChildren<QLabel*>(QLatin1String(kNoteName),
                                                                 Qt::FindDirectChildrenOnly)) {
    if (!note->isHidden()) return note;
  }
  return nullptr;
}
