#include "ui/staticip/static_ip_row_painter.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QLayout>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>

#include "ui/framework/base_dlg.h"
#include "ui/framework/row_template.h"

QWidget* CStaticIpRowPainter::LoadTemplate(const QString& fileName, const QString& rootName,
                                           QString* error) {
  return LoadRowTemplate(CBaseDlg::GetSkinDirectory(), fileName, rootName, error);
}

CStaticIpRowPainter::CStaticIpRowPainter(QWidget* rowTemplate, const QStringList& parts,
                                         QObject* parent)
    : QStyledItemDelegate(parent), m_template(rowTemplate) {
  m_parts.assign(static_cast<size_t>(parts.size()), nullptr);
  m_rects.assign(m_parts.size(), QRect());
  if (!m_template) return;
  m_template->setAttribute(Qt::WA_DontShowOnScreen);
  m_template->hide();
  m_template->ensurePolished();
  for (int i = 0; i < parts.size(); ++i) {
    m_parts[static_cast<size_t>(i)] = m_template->findChild<QWidget*>(parts[i]);
    if (m_parts[static_cast<size_t>(i)]) m_parts[static_cast<size_t>(i)]->ensurePolished();
  }
  m_look = ReadRowLook(m_template);
}

CStaticIpRowPainter::~CStaticIpRowPainter() {
  if (m_template && !m_template->parent()) delete m_template;
}

QWidget* CStaticIpRowPainter::PartControl(int part) const {
  return part >= 0 && part < static_cast<int>(m_parts.size()) ? m_parts[static_cast<size_t>(part)]
                                                              : nullptr;
}

void CStaticIpRowPainter::Layout(int width) const {
  if (!m_template || width == m_laidOutWidth) return;
  m_laidOutWidth = width;
  const QRect rowRect(0, 0, width, m_look.height);
  m_template->setGeometry(rowRect);
  if (QLayout* layout = m_template->layout()) {
    layout->invalidate();
    layout->setGeometry(rowRect);
  }
  for (size_t i = 0; i < m_parts.size(); ++i) {
    QWidget* widget = m_parts[i];
    m_rects[i] = (widget && !widget->isHidden() && widget->parentWidget())
                     ? QRect(widget->mapTo(m_template, QPoint(0, 0)), widget->size())
                     : QRect();
  }
}

QRect CStaticIpRowPainter::PartRect(int part, int rowWidth) const {
  if (part < 0 || part >= static_cast<int>(m_parts.size())) return {};
  Layout(rowWidth);
  return m_rects[static_cast<size_t>(part)];
}

QColor CStaticIpRowPainter::TagColor(int tag, const QColor& fallback) const {
  const QByteArray name = "tagColor" + QByteArray::number(tag);
  return RowColorProperty(m_template, name.constData(), fallback);
}

QSize CStaticIpRowPainter::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const {
  return QSize(1, m_look.height);  // rows take the view port's width
}

void CStaticIpRowPainter::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
  if (!m_template) return;
  const QRect rect = option.rect;
  Layout(rect.width());

  painter->save();
  QColor background = (index.row() % 2) ? m_look.altRow : m_look.row;
  if (option.state & QStyle::State_MouseOver) background = m_look.hover;
  painter->fillRect(rect, background);
  painter->setPen(m_look.line);
  painter->drawLine(rect.bottomLeft(), rect.bottomRight());

  for (size_t i = 0; i < m_parts.size(); ++i) {
    QWidget* widget = m_parts[i];
    if (!widget || m_rects[i].isEmpty()) continue;
    const QRect partRect = m_rects[i].translated(rect.topLeft());
    const QVariant value = index.data(PartRole(static_cast<int>(i)));
    if (auto* check = qobject_cast<QCheckBox*>(widget)) {
      QStyleOptionButton box;
      box.initFrom(check);
      box.rect = partRect;
      box.state = QStyle::State_Enabled | (value.toBool() ? QStyle::State_On : QStyle::State_Off);
      if (option.state & QStyle::State_MouseOver) box.state |= QStyle::State_MouseOver;
      check->style()->drawControl(QStyle::CE_CheckBox, &box, painter, check);
      continue;
    }
    const auto* label = qobject_cast<const QLabel*>(widget);
    if (!label) continue;
    const QRect textRect = partRect.marginsRemoved(label->contentsMargins());
    QColor color = label->palette().color(QPalette::WindowText);
    if (label->property("styledByTag").toBool())
      color = TagColor(index.data(kTagRole).toInt(), color);
    painter->setFont(label->font());
    painter->setPen(color);
    const QString text =
        QFontMetrics(label->font()).elidedText(value.toString(), Qt::ElideRight, textRect.width());
    painter->drawText(textRect, static_cast<int>(label->alignment()), text);
  }
  painter->restore();
}
