#pragma once

// A short note near the bottom of a window that goes away by itself, for news that needs no
// answer (a setting saved, a device restarting, a file written). Errors keep their message
// boxes. The note is plain text, so a device's own texts in it stay text.
//
//   ShowWindowNote(this, TrText("Exporting succeeded."));

#include <QString>

class QLabel;
class QWidget;

inline constexpr int kWindowNoteMs = 5000;

// Shows `text` over `anyWidget`'s window for `ms`; a note still shown is replaced.
void ShowWindowNote(QWidget* anyWidget, const QString& text, int ms = kWindowNoteMs);

// The note shown over `anyWidget`'s window now; null when none.
QLabel* CurrentWindowNote(const QWidget* anyWidget);
