#pragma once

// Plain widget actions shared by the UI tests and the GUI test driver (tests/driver): they need
// nothing but Qt Widgets, so the driver library can build this file without the product.

#include <QPoint>
#include <QString>

class QWidget;

namespace uitest {

// The visible control named `name` in `window` (the first visible one when several share the
// name, as the message box's two "btn_ok" do), else the first of that name; null when none.
QWidget* FindVisible(QWidget* window, const QString& name);

// A press and release of `button` at `pos` (in `target`'s coordinates) with the keyboard
// modifiers held; a right click also sends the context menu event a window system would.
void ClickAt(QWidget* target, QPoint pos, Qt::MouseButton button = Qt::LeftButton,
             Qt::KeyboardModifiers modifiers = Qt::NoModifier);

// The text a label, button or line edit displays; a null string for other controls.
QString DisplayedText(const QWidget* control);

// Sends a key press and release to `target` (to its focus widget when it is a window).
void PressKey(QWidget* target, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

}  // namespace uitest
