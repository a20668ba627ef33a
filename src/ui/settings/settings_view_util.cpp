#include "ui/settings/settings_view_util.h"

#include <QComboBox>

#include "ui/framework/base_dlg.h"
#include "ui/framework/translate_manager.h"

namespace {
constexpr int kKeyRole = Qt::UserRole + 1;  // the catalog key of a translated entry
}

void AddTranslatedItem(QComboBox* combo, const QString& key, const QString& value) {
  if (!combo) return;
  combo->addItem(TrText(key), value);
  combo->setItemData(combo->count() - 1, key, kKeyRole);
}

void RetranslateItems(QComboBox* combo) {
  if (!combo) return;
  for (int i = 0; i < combo->count(); ++i) {
    const QVariant key = combo->itemData(i, kKeyRole);
    if (key.isValid()) combo->setItemText(i, TrText(key.toString()));
  }
}

QString ItemKeyText(const QComboBox* combo, int index) {
  if (!combo || index < 0 || index >= combo->count()) return QString();
  const QVariant key = combo->itemData(index, kKeyRole);
  return key.isValid() ? key.toString() : combo->itemText(index);
}

void CloseHostDialog(QWidget* view, int code) {
  if (auto* dlg = qobject_cast<CBaseDlg*>(view ? view->window() : nullptr)) dlg->Close(code);
}
