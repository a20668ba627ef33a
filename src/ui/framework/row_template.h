#pragma once

#include <QColor>
#include <QString>

class QWidget;

// Row layouts of drawn lists: a Qt Designer document in the skin folder, loaded once as a hidden
// template whose named controls give each drawn part its place, font and colour.

// Loads `fileName` from `skinDir` with a plain loader (rows have no custom controls) and
// translates its texts; null, with the reason in *error, when the file is missing or its root
// is not named rootName.
QWidget* LoadRowTemplate(const QString& skinDir, const QString& fileName, const QString& rootName,
                         QString* error = nullptr);

// A colour kept as a dynamic property of a template ("rowColor", ...); fallback when absent.
QColor RowColorProperty(const QWidget* widget, const char* name, const QColor& fallback);

// Height and colours of a row template: its minimum (else current) height, and the dynamic
// properties rowColor, altRowColor, hoverColor, selectedColor and lineColor.
struct RowLook {
  int height = 36;
  QColor row, altRow, hover, selected, line;
};
RowLook ReadRowLook(const QWidget* rowTemplate);
