#pragma once

// The buttons that Enter and Escape stand for in a window built from a layout. Both are looked
// up among the buttons a person can see and use now, so a message box's hidden button sets and
// a settings page in the background never answer.
//
//   Enter  : the button that has the keyboard focus, else the window's primary button (the one
//            marked with the layout property primary=true).
//   Escape : the window's own Cancel button ("btn_cancel"), else its close button ("closebtn"),
//            else "btn_no", else "btn_ok" (a box that only informs). Clicking it runs the
//            window's handler with every question that handler asks.
//
// Null when the window has no such button: the key then does nothing (the main window).

class QAbstractButton;
class QWidget;

QAbstractButton* PrimaryButton(const QWidget* root);
QAbstractButton* EscapeButton(const QWidget* root);
