#include "ui/main/device_row_painter.h"

#include <QAbstractButton>
#include <QBoxLayout>
#include <QFontMetrics>
#include <QLabel>
#include <QLayout>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>

#include "ui/framework/row_template.h"
#include "ui/main/device_list_item.h"
#include "ui/main/device_list_model.h"
#include "ui/main/device_site_marks.h"

namespace {

const char* PartName(int part) {
  static const char* names[CDeviceRowPainter::kPartCount] = {
      "lab_index",    "lab_ip",      "lab_mac",      "lab_model",  "lab_room_num",
      "lab_firmware", "btn_ip_copy", "btn_mac_copy", "btn_upgrade"};
  return names[part];
}

}  // namespace

QWidget* CDeviceRowPainter::LoadTemplate(const QString& skinDir, QString* error) {
  return LoadRowTemplate(skinDir, QStringLiteral("DeviceListItem.xml"),
                         QStringLiteral("item_device"), error);
}

CDeviceRowPainter::CDeviceRowPainter(QWidget* rowTemplate, QObject* parent)
    : QStyledItemDelegate(parent), m_template(rowTemplate) {
  if (!m_template) return;
  m_template->setAttribute(Qt::WA_DontShowOnScreen);
  m_template->hide();
  m_template->ensurePolished();
  for (int part = 0; part < kPartCount; ++part) {
    m_parts[part] = m_template->findChild<QWidget*>(QString::fromLatin1(PartName(part)));
    if (m_parts[part]) m_parts[part]->ensurePolished();
  }
  const RowLook look = ReadRowLook(m_template);
  m_rowHeight = look.height;
  m_rowColor = look.row;
  m_altRowColor = look.altRow;
  m_hoverColor = look.hover;
  m_selectedColor = look.selected;
  m_lineColor = look.line;
}

CDeviceRowPainter::~CDeviceRowPainter() {
  if (m_template && !m_template->parent()) delete m_template;
}

void CDeviceRowPainter::Layout(int width) const {
  if (!m_template || width == m_laidOutWidth) return;
  m_laidOutWidth = width;
  QRect rowRect(0, 0, width, m_rowHeight);
  m_template->setGeometry(rowRect);
  if (QLayout* layout = m_template->layout()) {
    layout->invalidate();
    layout->setGeometry(rowRect);
  }
  for (int part = 0; part < kPartCount; ++part) {
    QWidget* widget = m_parts[part];
    m_rects[part] = (widget && !widget->isHidden() && widget->parentWidget())
                        ? QRect(widget->mapTo(m_template, QPoint(0, 0)), widget->size())
                        : QRect();
  }
}

int CDeviceRowPainter::TextWidth(Part part, const QString& text) const {
  const auto* label =
      part >= 0 && part < kPartCount ? qobject_cast<const QLabel*>(m_parts[part]) : nullptr;
  if (!label) return 0;
  const QMargins margins = label->contentsMargins();
  return QFontMetrics(label->font()).horizontalAdvance(text) + margins.left() + margins.right() +
         2 * label->margin() + 2;
}

void CDeviceRowPainter::SetTextStretches(const std::array<int, kFirmware - kIp + 1>& stretches,
                                         const std::array<int, kFirmware - kIp + 1>& minimums,
                                         int actionGap) {
  auto* layout = m_template ? qobject_cast<QBoxLayout*>(m_template->layout()) : nullptr;
  if (!layout) return;
  for (int part = kIp; part <= kFirmware; ++part) {
    const size_t i = static_cast<size_t>(part - kIp);
    const int at = m_parts[part] ? layout->indexOf(m_parts[part]) : -1;
    if (at < 0) continue;
    layout->setStretch(at, std::max(1, stretches[i]));
    m_parts[part]->setMinimumWidth(minimums[i]);
    m_parts[part]->setMaximumWidth(stretches[i] > 0 ? QWIDGETSIZE_MAX : minimums[i]);
  }
  SetGapBefore(layout, m_parts[kUpgrade], actionGap);
  m_laidOutWidth = -1;  // lay the template out again at the next paint
}

void CDeviceRowPainter::SetBadgeBelowText(bool below) { m_badgeBelow = below; }

bool CDeviceRowPainter::BadgeBelow(const CDeviceListItem& row) const {
  const int badge = m_badgeBelow && m_siteMarks ? m_siteMarks->BadgeWidth(row.Device().mac) : 0;
  const auto* label = qobject_cast<const QLabel*>(m_parts[kFirmware]);
  if (badge == 0 || !label) return false;
  // Only where it does not fit beside the firmware text (the laid-out cell, see Layout).
  const int room = m_rects[kFirmware].marginsRemoved(label->contentsMargins()).width();
  return QFontMetrics(label->font()).horizontalAdvance(row.FirmwareText()) + 6 + badge > room;
}

void CDeviceRowPainter::SetGapBefore(QBoxLayout* layout, QWidget* cell, int width) {
  const int at = layout && cell ? layout->indexOf(cell) : -1;
  if (at < 0) return;
  QSpacerItem* gap = at > 0 ? layout->itemAt(at - 1)->spacerItem() : nullptr;
  if (!gap) {
    if (width <= 0) return;
    layout->insertSpacing(at, width);
    return;
  }
  gap->changeSize(std::max(0, width), 0, QSizePolicy::Fixed, QSizePolicy::Minimum);
  layout->invalidate();
}

QRect CDeviceRowPainter::PartRect(Part part, int rowWidth) const {
  if (part < 0 || part >= kPartCount) return {};
  Layout(rowWidth);
  return m_rects[part];
}

CDeviceRowPainter::Part CDeviceRowPainter::PartAt(const QPoint& rowPoint, int rowWidth) const {
  Layout(rowWidth);
  for (Part part : {kIpCopy, kMacCopy, kUpgrade}) {
    if (m_rects[part].contains(rowPoint)) return part;
  }
  return kNoPart;
}

QString CDeviceRowPainter::PartToolTip(Part part) const {
  if (part < 0 || part >= kPartCount || !m_parts[part]) return {};
  return m_parts[part]->toolTip();
}

void CDeviceRowPainter::SetHot(int row, Part part, bool pressed) {
  m_hotRow = row;
  m_hotPart = part;
  m_pressed = pressed;
}

CDeviceRowPainter::Part CDeviceRowPainter::PartNamed(const QString& name) {
  for (int part = 0; part < kPartCount; ++part) {
    if (name == QLatin1String(PartName(part))) return static_cast<Part>(part);
  }
  return kNoPart;
}

QString CDeviceRowPainter::PartText(const CDeviceListItem& row, Part part) {
  switch (part) {
    case kIndex:
      return row.IndexText();
    case kIp:
      return row.IpText();
    case kMac:
      return row.MacText();
    case kModel:
      return row.ModelText();
    case kRoom:
      return row.RoomText();
    case kFirmware:
      return row.FirmwareText();
    default:
      return {};
  }
}

QSize CDeviceRowPainter::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const {
  // A list in list mode widens every row to its view port; a wider hint would outlast a
  // narrower view port (a scroll bar appearing) and push the right end of rows out of sight.
  return QSize(1, m_rowHeight);
}

void CDeviceRowPainter::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
  const auto* model = qobject_cast<const CDeviceListModel*>(index.model());
  const CDeviceListItem* row = model ? model->RowAt(index.row()) : nullptr;
  if (!row || !m_template) return;
  const QRect rect = option.rect;
  Layout(rect.width());

  painter->save();
  QColor background = (index.row() % 2) ? m_altRowColor : m_rowColor;
  if (option.state & QStyle::State_Selected) {
    background = m_selectedColor;
  } else if (option.state & QStyle::State_MouseOver) {
    background = m_hoverColor;
  }
  painter->fillRect(rect, background);
  painter->setPen(m_lineColor);
  painter->drawLine(rect.bottomLeft(), rect.bottomRight());

  for (int part = kIndex; part <= kFirmware; ++part) {
    const auto* label = qobject_cast<const QLabel*>(m_parts[part]);
    if (!label || m_rects[part].isEmpty()) continue;
    QRect textRect = m_rects[part].translated(rect.topLeft());
    QMargins margins = label->contentsMargins();
    textRect = textRect.marginsRemoved(margins);
    painter->setFont(label->font());
    painter->setPen(label->palette().color(QPalette::WindowText));
    QFontMetrics metrics(label->font());
    QString text = metrics.elidedText(PartText(*row, static_cast<Part>(part)), Qt::ElideRight,
                                      textRect.width());
    int alignment = static_cast<int>(label->alignment());
    if (part == kFirmware && BadgeBelow(*row)) {  // the upper half; the badge takes the lower
      textRect.setBottom(rect.top() + rect.height() / 2 - 1);
      alignment = (alignment & ~Qt::AlignVertical_Mask) | Qt::AlignBottom;
    }
    painter->drawText(textRect, alignment, text);
  }

  for (Part part : {kIpCopy, kMacCopy, kUpgrade}) {
    auto* button = qobject_cast<QAbstractButton*>(m_parts[part]);
    if (!button || m_rects[part].isEmpty()) continue;
    QStyleOptionButton buttonOption;
    buttonOption.initFrom(button);
    buttonOption.rect = m_rects[part].translated(rect.topLeft());
    buttonOption.text = button->text();
    // A long translation is cut with an ellipsis rather than clipped at both ends.
    if (!buttonOption.text.isEmpty()) {
      const QRect content =
          button->style()->subElementRect(QStyle::SE_PushButtonContents, &buttonOption, button);
      buttonOption.text = QFontMetrics(button->font())
                              .elidedText(buttonOption.text, Qt::ElideRight, content.width());
    }
    buttonOption.icon = button->icon();
    buttonOption.iconSize = button->iconSize();
    buttonOption.state = QStyle::State_Enabled | QStyle::State_Raised;
    if (index.row() == m_hotRow && part == m_hotPart) {
      buttonOption.state |= QStyle::State_MouseOver;
      if (m_pressed) buttonOption.state |= QStyle::State_Sunken;
    }
    button->style()->drawControl(QStyle::CE_PushButton, &buttonOption, painter, button);
  }
  if (m_siteMarks) {
    QRect dotSpace, badgeSpace;
    SiteMarkSpaces(*row, rect, &dotSpace, &badgeSpace);
    m_siteMarks->Paint(painter, rect, background, row->Device().mac, dotSpace, badgeSpace);
  }
  painter->restore();
}

void CDeviceRowPainter::SiteMarkSpaces(const CDeviceListItem& row, const QRect& rowRect,
                                       QRect* dotSpace, QRect* badgeSpace) const {
  Layout(rowRect.width());
  const QRect index = m_rects[kIndex].translated(rowRect.topLeft());
  // The margin before the index column; a layout without one gives the dot the index's start.
  *dotSpace =
      index.isEmpty() ? QRect()
      : index.left() - rowRect.left() >= 12
          ? QRect(rowRect.left(), rowRect.top(), index.left() - rowRect.left(), rowRect.height())
          : QRect(index.left(), rowRect.top(), 12, rowRect.height());
  const auto* label = qobject_cast<const QLabel*>(m_parts[kFirmware]);
  const QRect cell = m_rects[kFirmware].translated(rowRect.topLeft());
  if (!label || cell.isEmpty()) {
    *badgeSpace = QRect();
    return;
  }
  const QRect text = cell.marginsRemoved(label->contentsMargins());
  if (BadgeBelow(row)) {
    *badgeSpace = QRect(text.left(), rowRect.top() + rowRect.height() / 2, text.width(),
                        rowRect.height() - rowRect.height() / 2);
    const int badge = m_siteMarks->BadgeWidth(row.Device().mac);
    if (badge < text.width()) badgeSpace->setWidth(badge);  // under the text's start
    return;
  }
  const int used =
      std::min(QFontMetrics(label->font()).horizontalAdvance(row.FirmwareText()), text.width());
  *badgeSpace = QRect(QPoint(text.left() + used + 6, cell.top()), cell.bottomRight());
}
