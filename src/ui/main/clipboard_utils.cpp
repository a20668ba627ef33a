#include "ui/main/clipboard_utils.h"

#include <QClipboard>
#include <QGuiApplication>

bool CopyToClipboard(const QString& text) {
  if (text.isEmpty() || !qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return false;
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (!clipboard) return false;
  clipboard->setText(text, QClipboard::Clipboard);
  return clipboard->text(QClipboard::Clipboard) == text;
}
