#pragma once

// Finding the program's controls by objectName, and making texts safe for a reply line.

#include <QList>
#include <QString>

class QWidget;

namespace guidriver {

// The visible top-level windows: the active modal window first, then the other modal ones,
// then the rest.
QList<QWidget*> VisibleWindows();

// The control named `name`: a top-level window of that objectName or a control inside one,
// searched in the order of VisibleWindows; a visible control wins over a hidden one of the same
// name. "WINDOW/NAME" searches only the window whose objectName or class name is WINDOW.
// Null with the reason in *error when there is none.
QWidget* FindNamed(const QString& name, QString* error);

// The class name of the object (the program's own class, not its Qt base).
QString ClassName(const QWidget* widget);
// True when the widget's class or one of its bases is called `className`.
bool Inherits(const QWidget* widget, const char* className);

// Control characters as \t, \n, \r or \xNN, so any text stays one line of a reply (and a
// device's text never reaches the tester's terminal raw). keepTabs leaves tabs as they are
// (field separators of list rows).
QString Escaped(const QString& text, bool keepTabs = false);

}  // namespace guidriver
