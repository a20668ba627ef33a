#pragma once

// Control lookup and per-control values, shared by every window.
//
// Controls are found by objectName, once, after the layout is built:
//   m_pLabelIp = FindControl<QLabel>(this, "label_ip");   // null when missing or of another kind
//   if (m_pLabelIp) m_pLabelIp->setText(ip);

#include <QString>
#include <QWidget>

// The widget named `name` at or below `root`, or null. A control of another kind than T is
// reported once on stderr and treated as missing.
QWidget* FindControlImpl(const QWidget* root, const QString& name, const QMetaObject& kind);

template <class T = QWidget>
T* FindControl(const QWidget* root, const QString& name) {
  return static_cast<T*>(FindControlImpl(root, name, T::staticMetaObject));
}

// Tag: an integer per control that may hold a pointer. User data: a free text per control.
void SetTag(QWidget* control, quintptr tag);
quintptr GetTag(const QWidget* control);
void SetUserData(QWidget* control, const QString& data);
QString GetUserData(const QWidget* control);

// Text of labels, buttons, line edits, group boxes and windows; "" for other controls.
QString GetControlText(const QWidget* control);
void SetControlText(QWidget* control, const QString& text);
// Sets the text of the control `name` below `root`; false when it does not exist.
bool SetSubControlText(QWidget* root, const QString& name, const QString& text);
