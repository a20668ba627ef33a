#pragma once

// The file dialogs of the program: the desktop's own (through the XDG desktop portal where the
// session offers one), Qt's otherwise, always with texts in the catalog's language.

#include <QString>

class QWidget;

// Before the application object exists: lets Qt reach the desktop's file chooser through the
// XDG desktop portal when the session has a bus, the user chose no platform theme and the
// portal theme is installed. Without a portal that theme falls back to the desktop's or Qt's
// own dialogs, so this never leaves the program without one.
void PreferDesktopFileDialogs();

// "" when the user cancelled.
QString AskOpenFileName(QWidget* parent, const QString& title, const QString& filter);
QString AskSaveFileName(QWidget* parent, const QString& title, const QString& proposedPath,
                        const QString& filter);
