#pragma once

#include <QString>
#include <QStringList>

class QTableWidget;

// The per-device tables of the batch windows: read-only rows without selection, a header from
// catalog keys, columns as wide as their texts. Cells hold plain text (device texts included).

// Sets up the columns; the header texts are catalog keys.
void SetupResultTable(QTableWidget* table, const QStringList& headerKeys);
// Sets one cell's text, creating the cell on first use.
void SetResultCell(QTableWidget* table, int row, int column, const QString& text);
