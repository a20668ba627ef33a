#include "ui/framework/result_table.h"

#include <QHeaderView>
#include <QTableWidget>

#include "ui/framework/translate_manager.h"

void SetupResultTable(QTableWidget* table, const QStringList& headerKeys) {
  if (!table) return;
  QStringList header;
  for (const QString& key : headerKeys) header << TrText(key);
  table->setColumnCount(static_cast<int>(header.size()));
  table->setHorizontalHeaderLabels(header);
  table->verticalHeader()->hide();
  table->setSelectionMode(QAbstractItemView::NoSelection);
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->setWordWrap(false);
  table->horizontalHeader()->setStretchLastSection(true);
  table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
}

void SetResultCell(QTableWidget* table, int row, int column, const QString& text) {
  if (!table) return;
  QTableWidgetItem* item = table->item(row, column);
  if (!item) {
    item = new QTableWidgetItem;
    item->setFlags(Qt::ItemIsEnabled);
    table->setItem(row, column, item);
  }
  if (item->text() != text) item->setText(text);
}
