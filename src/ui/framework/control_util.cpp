#include "ui/framework/control_util.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVariant>

namespace {
constexpr const char* kTagProperty = "ips_tag";
constexpr const char* kUserDataProperty = "ips_userdata";
}  // namespace

QWidget* FindControlImpl(const QWidget* root, const QString& name, const QMetaObject& kind) {
  if (!root || name.isEmpty()) return nullptr;
  QWidget* found = nullptr;
  if (root->objectName() == name) {
    found = const_cast<QWidget*>(root);
  } else {
    found = root->findChild<QWidget*>(name);
  }
  if (!found) return nullptr;
  if (!kind.cast(found)) {
    qWarning("control \"%s\" is a %s, expected %s", qPrintable(name),
             found->metaObject()->className(), kind.className());
    return nullptr;
  }
  return found;
}

void SetTag(QWidget* control, quintptr tag) {
  if (control) control->setProperty(kTagProperty, QVariant::fromValue<qulonglong>(tag));
}

quintptr GetTag(const QWidget* control) {
  return control ? static_cast<quintptr>(control->property(kTagProperty).toULongLong()) : 0;
}

void SetUserData(QWidget* control, const QString& data) {
  if (control) control->setProperty(kUserDataProperty, data);
}

QString GetUserData(const QWidget* control) {
  return control ? control->property(kUserDataProperty).toString() : QString();
}

QString GetControlText(const QWidget* control) {
  if (!control) return {};
  if (auto* label = qobject_cast<const QLabel*>(control)) return label->text();
  if (auto* button = qobject_cast<const QAbstractButton*>(control)) return button->text();
  if (auto* edit = qobject_cast<const QLineEdit*>(control)) return edit->text();
  if (auto* group = qobject_cast<const QGroupBox*>(control)) return group->title();
  if (control->isWindow()) return control->windowTitle();
  return {};
}

void SetControlText(QWidget* control, const QString& text) {
  if (!control) return;
  if (auto* label = qobject_cast<QLabel*>(control)) {
    label->setText(text);
  } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
    button->setText(text);
  } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
    edit->setText(text);
  } else if (auto* group = qobject_cast<QGroupBox*>(control)) {
    group->setTitle(text);
  } else if (control->isWindow()) {
    control->setWindowTitle(text);
  }
}

bool SetSubControlText(QWidget* root, const QString& name, const QString& text) {
  QWidget* control = FindControl<QWidget>(root, name);
  if (!control) return false;
  SetControlText(control, text);
  return true;
}
