#pragma once

#include <QColor>
#include <QPointer>
#include <QRect>
#include <QStringList>
#include <QStyledItemDelegate>
#include <QWidget>
#include <vector>

#include "ui/framework/row_template.h"

// Draws the rows of the batch static IP lists from a row layout ("SetStaticIPListItem.xml",
// "SetStaticIPStatusListItem.xml"): the layout is loaded once as a hidden template, laid out for
// the list's width, and its named controls give each part's place, font and colour. Only the
// visible rows are painted, so thousands of rows cost no more than a screenful.
//
// The model answers data(index, PartRole(part)): a text for a label part, a bool for a checkbox
// part; and data(index, TagRole): the row's tag. A label with the dynamic property
// "styledByTag" takes its colour from the template root's property "tagColor<tag>".
class CStaticIpRowPainter : public QStyledItemDelegate {
  Q_OBJECT
public:
  static constexpr int kTagRole = Qt::UserRole + 1;
  static constexpr int PartRole(int part) { return Qt::UserRole + 16 + part; }

  // rowTemplate: the loaded row layout; parts: the names of its controls drawn per row. The
  // painter keeps the template hidden and owns it when it has no parent.
  CStaticIpRowPainter(QWidget* rowTemplate, const QStringList& parts, QObject* parent = nullptr);
  ~CStaticIpRowPainter() override;

  // Loads a row layout from the skin folder; null (reason in *error) when the file is missing or
  // its root is not named rootName.
  static QWidget* LoadTemplate(const QString& fileName, const QString& rootName,
                               QString* error = nullptr);

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

  int RowHeight() const { return m_look.height; }
  // Where a part lies in a row of the given width (relative to the row); empty when absent.
  QRect PartRect(int part, int rowWidth) const;
  // The control a part is drawn from (the template's), or null.
  QWidget* PartControl(int part) const;

private:
  void Layout(int width) const;
  QColor TagColor(int tag, const QColor& fallback) const;

  QPointer<QWidget> m_template;
  std::vector<QWidget*> m_parts;
  mutable int m_laidOutWidth = -1;
  mutable std::vector<QRect> m_rects;
  RowLook m_look;
};
