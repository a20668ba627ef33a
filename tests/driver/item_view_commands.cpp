// list, current-row, row-select, row-click, row-button: item views (and combo boxes) by their
// model.
//
// A model may offer `Q_INVOKABLE QString DumpText() const` (one line per row, fields
// tab-separated); else each row is its columns' display texts. A view that draws buttons inside
// its rows offers `Q_INVOKABLE QRect ButtonRect(int row, const QString& name) const` (view-port
// coordinates) on itself or on a QObject child of it, so row-button presses the mouse where the
// program's own hit test looks.

#include <QAbstractItemView>
#include <QComboBox>
#include <QMetaObject>
#include <QPointer>
#include <QRect>

#include "command_registry.h"
#include "ui/support/widget_actions.h"
#include "widget_lookup.h"

namespace guidriver {

namespace {

QString ModelRows(QAbstractItemModel* model) {
  QString dump;
  if (model->metaObject()->indexOfMethod("DumpText()") >= 0 &&
      QMetaObject::invokeMethod(model, "DumpText", Qt::DirectConnection,
                                Q_RETURN_ARG(QString, dump))) {
    QStringList lines = dump.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    for (QString& line : lines) line = Escaped(line, true);
    return lines.join(QLatin1Char('\n'));
  }
  QStringList lines;
  for (int row = 0; row < model->rowCount(); ++row) {
    QStringList fields;
    for (int column = 0; column < model->columnCount(); ++column) {
      fields << Escaped(model->index(row, column).data(Qt::DisplayRole).toString());
    }
    lines << fields.join(QLatin1Char('\t'));
  }
  return lines.join(QLatin1Char('\n'));
}

Reply List(const QStringList& args) {
  QString error;
  QWidget* w = FindNamed(args[0], &error);
  if (!w) return Error(error);
  QAbstractItemModel* model = nullptr;
  if (auto* view = qobject_cast<QAbstractItemView*>(w)) model = view->model();
  if (auto* combo = qobject_cast<QComboBox*>(w)) model = combo->model();
  if (!model) return Error(QStringLiteral("%1 is no item view").arg(args[0]));
  return Ok(ModelRows(model));
}

// The named view and the index of ROW in column 0; null with the reason in *reply otherwise.
QAbstractItemView* ViewRow(const QStringList& args, QModelIndex* index, Reply* reply) {
  QString error;
  QWidget* w = FindNamed(args[0], &error);
  auto* view = qobject_cast<QAbstractItemView*>(w);
  if (!view || !view->model()) {
    *reply = Error(w ? QStringLiteral("%1 is no item view").arg(args[0]) : error);
    return nullptr;
  }
  bool number = false;
  const int row = args[1].toInt(&number);
  if (!number || row < 0 || row >= view->model()->rowCount()) {
    *reply = Error(QStringLiteral("%1 has no row %2").arg(args[0], args[1]));
    return nullptr;
  }
  if (!view->isVisible() || !view->isEnabled()) {
    *reply = Error(QStringLiteral("%1 is hidden or disabled").arg(args[0]));
    return nullptr;
  }
  *index = view->model()->index(row, 0);
  return view;
}

Reply CurrentRow(const QStringList& args) {
  QString error;
  QWidget* w = FindNamed(args[0], &error);
  auto* view = qobject_cast<QAbstractItemView*>(w);
  if (!view) return Error(w ? QStringLiteral("%1 is no item view").arg(args[0]) : error);
  const QModelIndex current = view->currentIndex();
  return Ok(QString::number(current.isValid() ? current.row() : -1));
}

// An action on row ROW of the view LIST, run once the reply is out (when both still exist).
using RowAction = void (*)(QAbstractItemView* view, const QModelIndex& row);
Reply OnRow(const QStringList& args, RowAction act) {
  Reply reply;
  QModelIndex index;
  QAbstractItemView* view = ViewRow(args, &index, &reply);
  if (!view) return reply;
  QPointer<QAbstractItemView> target(view);
  QPersistentModelIndex row(index);
  return Do([target, row, act] {
    if (target && row.isValid()) act(target, row);
  });
}

Reply RowSelect(const QStringList& args) {
  return OnRow(args,
               [](QAbstractItemView* view, const QModelIndex& row) { view->setCurrentIndex(row); });
}

// "ctrl", "shift", "right" joined with '+' ("ctrl+shift"); false for another word.
bool ParseClick(const QString& text, Qt::MouseButton* button, Qt::KeyboardModifiers* modifiers) {
  *button = Qt::LeftButton;
  *modifiers = Qt::NoModifier;
  if (text.isEmpty()) return true;
  for (const QString& word : text.toLower().split(QLatin1Char('+'))) {
    if (word == QLatin1String("ctrl")) {
      *modifiers |= Qt::ControlModifier;
    } else if (word == QLatin1String("shift")) {
      *modifiers |= Qt::ShiftModifier;
    } else if (word == QLatin1String("right")) {
      *button = Qt::RightButton;
    } else {
      return false;
    }
  }
  return true;
}

Reply RowClick(const QStringList& args) {
  Reply reply;
  QModelIndex index;
  QAbstractItemView* view = ViewRow(args, &index, &reply);
  if (!view) return reply;
  Qt::MouseButton button;
  Qt::KeyboardModifiers modifiers;
  if (!ParseClick(args.value(2), &button, &modifiers))
    return Error(QStringLiteral("unknown click %1 (ctrl, shift, right)").arg(args[2]));
  QPointer<QAbstractItemView> target(view);
  QPersistentModelIndex row(index);
  return Do([target, row, button, modifiers] {
    if (!target || !row.isValid()) return;
    target->scrollTo(row);
    uitest::ClickAt(target->viewport(), target->visualRect(row).center(), button, modifiers);
  });
}

// ButtonRect of the view or of one of its direct QObject children.
QRect ButtonRect(QAbstractItemView* view, int row, const QString& name, bool* offered) {
  QList<QObject*> candidates{view};
  candidates += view->findChildren<QObject*>(Qt::FindDirectChildrenOnly);
  for (QObject* object : candidates) {
    if (object->metaObject()->indexOfMethod("ButtonRect(int,QString)") < 0) continue;
    *offered = true;
    QRect rect;
    QMetaObject::invokeMethod(object, "ButtonRect", Qt::DirectConnection, Q_RETURN_ARG(QRect, rect),
                              Q_ARG(int, row), Q_ARG(QString, name));
    return rect;
  }
  return {};
}

Reply RowButton(const QStringList& args) {
  Reply reply;
  QModelIndex index;
  QAbstractItemView* view = ViewRow(args, &index, &reply);
  if (!view) return reply;
  view->scrollTo(index);
  bool offered = false;
  const QRect rect = ButtonRect(view, index.row(), args[2], &offered);
  if (!offered) return Error(QStringLiteral("%1 draws no row buttons").arg(args[0]));
  if (rect.isEmpty() || !view->viewport()->rect().contains(rect.center())) {
    return Error(QStringLiteral("row %1 of %2 shows no button %3").arg(args[1], args[0], args[2]));
  }
  QPointer<QWidget> viewport(view->viewport());
  const QPoint centre = rect.center();
  return Do([viewport, centre] {
    if (viewport) uitest::ClickAt(viewport, centre);
  });
}

}  // namespace

void AddItemViewCommands(std::vector<Command>& table) {
  table.push_back({"list", 1, 1, "NAME", List});
  table.push_back({"current-row", 1, 1, "LIST", CurrentRow});
  table.push_back({"row-select", 2, 2, "LIST ROW", RowSelect});
  table.push_back({"row-click", 2, 3, "LIST ROW [ctrl|shift|right]", RowClick});
  table.push_back({"row-button", 3, 3, "LIST ROW BUTTON", RowButton});
}

}  // namespace guidriver
