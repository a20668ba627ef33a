#include "ui/framework/tab_order.h"

#include <QAbstractItemView>
#include <QWidget>

void ApplyDialogTabOrder(QWidget* root) {
  if (!root) return;
  for (QAbstractItemView* view : root->findChildren<QAbstractItemView*>())
    view->setTabKeyNavigation(false);
  QWidget* window = root->window();
  for (const char* name : {"btn_cancel", "btn_no"}) {
    for (QWidget* cancel : root->findChildren<QWidget*>(QLatin1String(name))) {
      QWidget* last = window->previousInFocusChain();  // the chain is a ring through the window
      if (last != cancel && last != window) QWidget::setTabOrder(last, cancel);
    }
  }
}
