#include "ui/framework/dialog_keys.h"

#include <QAbstractButton>
#include <QWidget>

namespace {

// Shown (or to be shown with its window) and enabled.
bool Usable(const QAbstractButton* button, const QWidget* root) {
  return button->isEnabled() && button->isVisibleTo(root->window());
}

QAbstractButton* UsableNamed(const QWidget* root, const char* name) {
  for (QAbstractButton* button : root->findChildren<QAbstractButton*>(QLatin1String(name))) {
    if (Usable(button, root)) return button;
  }
  return nullptr;
}

}  // namespace

QAbstractButton* PrimaryButton(const QWidget* root) {
  if (!root) return nullptr;
  for (QAbstractButton* button : root->findChildren<QAbstractButton*>()) {
    if (button->property("primary").toBool() && Usable(button, root)) return button;
  }
  return nullptr;
}

QAbstractButton* EscapeButton(const QWidget* root) {
  if (!root) return nullptr;
  for (const char* name : {"btn_cancel", "closebtn", "btn_no", "btn_ok"}) {
    if (QAbstractButton* button = UsableNamed(root, name)) return button;
  }
  return nullptr;
}
