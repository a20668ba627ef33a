#include "ui/framework/file_dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QLibraryInfo>

void PreferDesktopFileDialogs() {
  if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORMTHEME")) return;  // the user's choice
  if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return;
  const QString plugin = QLibraryInfo::path(QLibraryInfo::PluginsPath) +
                         QStringLiteral("/platformthemes/libqxdgdesktopportal.so");
  if (!QFile::exists(plugin)) return;
  qputenv("QT_QPA_PLATFORMTHEME", "xdgdesktopportal");
}

QString AskOpenFileName(QWidget* parent, const QString& title, const QString& filter) {
  return QFileDialog::getOpenFileName(parent, title, QString(), filter);
}

QString AskSaveFileName(QWidget* parent, const QString& title, const QString& proposedPath,
                        const QString& filter) {
  // The overwrite question is the caller's (it names the file in the catalog's language).
  return QFileDialog::getSaveFileName(parent, title, proposedPath, filter, nullptr,
                                      QFileDialog::DontConfirmOverwrite);
}
