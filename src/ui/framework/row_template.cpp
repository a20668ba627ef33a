#include "ui/framework/row_template.h"

#include <QDir>
#include <QFile>
#include <QUiLoader>
#include <QVariant>
#include <QWidget>

#include "ui/framework/translate_manager.h"

QWidget* LoadRowTemplate(const QString& skinDir, const QString& fileName, const QString& rootName,
                         QString* error) {
  QFile file(QDir(skinDir).filePath(fileName));
  if (!file.open(QIODevice::ReadOnly)) {
    if (error) *error = file.fileName() + QStringLiteral(": ") + file.errorString();
    return nullptr;
  }
  QUiLoader loader;
  loader.setWorkingDirectory(QDir(skinDir));
  QWidget* root = loader.load(&file);
  if (!root || root->objectName() != rootName) {
    if (error) {
      *error = root ? file.fileName() + QStringLiteral(": the root is not ") + rootName
                    : file.fileName() + QStringLiteral(": ") + loader.errorString();
    }
    delete root;
    return nullptr;
  }
  CTranslateManager::GetInstance()->TranslateTree(root);  // button texts and tooltips
  return root;
}

QColor RowColorProperty(const QWidget* widget, const char* name, const QColor& fallback) {
  const QVariant value = widget->property(name);
  if (!value.isValid()) return fallback;
  const QColor color(value.toString());
  return color.isValid() ? color : fallback;
}

RowLook ReadRowLook(const QWidget* rowTemplate) {
  RowLook look;
  int height = rowTemplate->minimumHeight();
  if (height <= 0) height = rowTemplate->height();
  if (height > 0) look.height = height;
  look.row = RowColorProperty(rowTemplate, "rowColor", QColor("#ffffff"));
  look.altRow = RowColorProperty(rowTemplate, "altRowColor", look.row);
  look.hover = RowColorProperty(rowTemplate, "hoverColor", QColor("#f1f5fb"));
  look.selected = RowColorProperty(rowTemplate, "selectedColor", QColor("#e3edfb"));
  look.line = RowColorProperty(rowTemplate, "lineColor", QColor("#e8ebf0"));
  return look;
}
