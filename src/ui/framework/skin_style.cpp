#include "ui/framework/skin_style.h"

#include <QApplication>
#include <QFile>
#include <QIcon>

#include "ui/framework/dlg_builder_callback.h"

bool ApplySkinStyle() {
  const QString skin = CDlgBuilderCallback::GetSkinDirectory();
  QIcon icon;
  for (int size : {16, 32, 48, 256}) {
    const QString path = skin + QStringLiteral("images/app_icon_%1.png").arg(size);
    if (QFile::exists(path)) icon.addFile(path);
  }
  if (!icon.isNull()) QApplication::setWindowIcon(icon);

  QFile file(skin + QStringLiteral("style.qss"));
  if (!file.open(QIODevice::ReadOnly)) {
    qWarning("style sheet %s cannot be read", qPrintable(file.fileName()));
    return false;
  }
  QString sheet = QString::fromUtf8(file.readAll());
  sheet.replace(QStringLiteral("url(images/"),
                QStringLiteral("url(") + skin + QStringLiteral("images/"));
  qApp->setStyleSheet(sheet);
  return true;
}
