#pragma once
// The sort arrows of the device lists (main window, static IP selection): which state a sort
// arrow label shows, read from its skin image through one table.

#include <QLabel>
#include <QString>
#include <QWidget>

namespace uitest {

// "ascending", "descending" or "unsorted"; the image text itself when it is none of them.
inline QString SortArrowState(const QWidget* window, const char* name) {
  static const struct {
    const char* image;
    const char* state;
  } kArrows[] = {
      {"file='img/inc.png' dest='6,19,18,31'", "ascending"},
      {"file='img/dec.png' dest='6,19,18,31'", "descending"},
      {"file='img/normal.png' dest='6,19,18,31'", "unsorted"},
  };
  const auto* label = window->findChild<QLabel*>(QString::fromLatin1(name));
  if (label == nullptr) return QStringLiteral("<no label %1>").arg(QString::fromLatin1(name));
  const QString image = label->property("bkimage").toString();
  for (const auto& arrow : kArrows) {
    if (image == QLatin1String(arrow.image)) return QString::fromLatin1(arrow.state);
  }
  return image;
}

}  // namespace uitest
