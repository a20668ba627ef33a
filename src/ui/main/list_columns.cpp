#include "ui/main/list_columns.h"

#include <QAbstractButton>
#include <QBoxLayout>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QHash>
#include <QLabel>
#include <QStringList>
#include <algorithm>
#include <array>
#include <initializer_list>

#include "ui/main/device_list_model.h"
#include "ui/main/device_row_painter.h"
#include "ui/main/device_site_marks.h"

namespace {

constexpr int kBadgeGap = 6;  // between the firmware text and its badge, as the painter draws
constexpr qint64 kMeasureBudgetNs = 2'000'000;  // texts measured per call, at most this long
constexpr int kRowsPerSlice = 16384;            // rows gone through per call
// Between a badge and the device panel's edge; it holds the list's scroll bar too.
constexpr int kPanelGap = 18;
constexpr const char* kActionCell = "lab_h_operation";

// The header cell of each text column, in the painter's order (kIp .. kFirmware).
constexpr const char* kHeaderCells[] = {"cell_ip_sort", "lab_h_mac", "cell_model_sort",
                                        "lab_h_room", "lab_h_firmware"};

// What a header cell needs: a word-wrapping label the width of its best split into two lines
// (the header's height holds two), a sort cell its button's text with the arrow beside it, any
// other label its whole text.
int HeaderNeed(QWidget* cell) {
  if (auto* label = qobject_cast<QLabel*>(cell)) {
    const QFontMetrics metrics(label->font());
    const QString text = label->text();
    int need = metrics.horizontalAdvance(text);
    if (label->wordWrap()) {
      for (int at = text.indexOf(QLatin1Char(' ')); at > 0;
           at = text.indexOf(QLatin1Char(' '), at + 1)) {
        need = std::min(need, std::max(metrics.horizontalAdvance(text.left(at)),
                                       metrics.horizontalAdvance(text.mid(at + 1))));
      }
    }
    return need + 6;
  }
  int need = 0;
  for (QWidget* child : cell->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (auto* button = qobject_cast<QAbstractButton*>(child))
      need += QFontMetrics(button->font()).horizontalAdvance(button->text()) + 4;
    else if (!child->isHidden())
      need += child->minimumWidth() + 4;
  }
  return need;
}

}  // namespace

CListColumns::CListColumns(QWidget* header, CDeviceRowPainter* painter)
    : m_header(header), m_painter(painter) {}

bool CListColumns::Fit(const CDeviceListModel& model, const CDeviceSiteMarks* marks) {
  if (!m_header || !m_painter) return false;
  auto* headerLayout = qobject_cast<QBoxLayout*>(m_header->layout());
  if (!headerLayout) return false;
  if (m_next == 0) m_passNeed.fill(0);
  QElapsedTimer clock;
  clock.start();
  const int end = std::min(model.Count(), m_next + kRowsPerSlice);
  int row = m_next;
  for (; row < end; ++row) {
    const CDeviceListItem* item = model.RowAt(row);
    CDeviceListItem::Widths widths = item->TextWidths();
    if (widths[0] < 0) {
      if ((row & 7) == 0 && clock.nsecsElapsed() > kMeasureBudgetNs) break;
      for (int part = CDeviceRowPainter::kIp; part <= CDeviceRowPainter::kFirmware; ++part) {
        const auto p = static_cast<CDeviceRowPainter::Part>(part);
        widths[static_cast<size_t>(part - CDeviceRowPainter::kIp)] =
            m_painter->TextWidth(p, CDeviceRowPainter::PartText(*item, p));
      }
      item->SetTextWidths(widths);
    }
    for (size_t i = 0; i < m_passNeed.size(); ++i)
      m_passNeed[i] = std::max(m_passNeed[i], widths[i]);
  }
  if (row < model.Count()) {
    m_next = row;
    return false;
  }
  m_next = 0;

  std::array<int, 5> need{};
  std::array<int, 5> headerNeed{};
  std::array<QWidget*, 5> cells{};
  for (size_t i = 0; i < need.size(); ++i) {
    cells[i] = m_header->findChild<QWidget*>(QLatin1String(kHeaderCells[i]));
    if (cells[i]) headerNeed[i] = need[i] = HeaderNeed(cells[i]);
  }
  int stackedFirmware = std::max(need[4], m_passNeed[4]);  // the badge below the text
  for (size_t i = 0; i < need.size(); ++i) need[i] = std::max(need[i], m_passNeed[i]);
  // The firmware column holds the badge too: its widest text with a badge (a site has few
  // devices with one, and few different badge texts).
  if (marks) {
    QHash<QString, int> badgeWidths;
    for (const std::string& mac : marks->MarkedMacs()) {
      const CDeviceListItem* item = model.RowFor(mac);
      if (!item) continue;
      const QString text = marks->BadgeText(mac);
      auto known = badgeWidths.constFind(text);
      if (known == badgeWidths.constEnd()) known = badgeWidths.insert(text, marks->BadgeWidth(mac));
      if (*known <= 0) continue;
      const int firmware = item->TextWidths()[4] >= 0
                               ? item->TextWidths()[4]
                               : m_painter->TextWidth(CDeviceRowPainter::kFirmware,
                                                      CDeviceRowPainter::PartText(
                                                          *item, CDeviceRowPainter::kFirmware));
      need[4] = std::max(need[4], firmware + kBadgeGap + *known);
      stackedFirmware = std::max(stackedFirmware, *known);
    }
  }
  if (need == m_applied && stackedFirmware == m_appliedStacked) return false;
  m_applied = need;
  m_appliedStacked = stackedFirmware;
  std::array<int, 5> stretch{};
  for (size_t i = 0; i < need.size(); ++i) stretch[i] = std::max(1, need[i]);
  // IP and MAC have fixed lengths and are what an installer reads first: they keep their whole
  // width. Every header keeps its words; model, room and firmware share what is left in
  // proportion to their needs (a long model name is elided in a narrow window, and a badge
  // shrinks to its mark before any header is cut).
  std::array<int, 5> minimum = headerNeed;
  minimum[0] = need[0];
  minimum[1] = need[1];
  // Under the device panel the Action column stays put, and a gap before it keeps the firmware
  // column in view, its badges below the firmware text. IP and MAC keep the widths they had, so
  // no copy button moves under the pointer; the model name gives way first.
  auto* action = m_header->findChild<QWidget*>(QLatin1String(kActionCell));
  int gap = 0;
  if (m_covered > 0) {
    for (size_t i : {size_t{0}, size_t{1}}) {
      stretch[i] = 0;
      minimum[i] = std::max(need[i], m_uncoveredWidths[i]);
    }
    minimum[4] = std::max(headerNeed[4], stackedFirmware);
    const int actionSpan = headerLayout->contentsMargins().right() + headerLayout->spacing() +
                           (action ? action->minimumWidth() : 0);
    gap = std::max(0, m_covered - actionSpan + kPanelGap);
  }
  for (size_t i = 0; i < need.size(); ++i) {
    const int at = cells[i] ? headerLayout->indexOf(cells[i]) : -1;
    if (at >= 0) headerLayout->setStretch(at, std::max(1, stretch[i]));
    if (cells[i]) {
      cells[i]->setMinimumWidth(minimum[i]);
      cells[i]->setMaximumWidth(stretch[i] > 0 ? QWIDGETSIZE_MAX : minimum[i]);
    }
  }
  CDeviceRowPainter::SetGapBefore(headerLayout, action, gap);
  m_painter->SetTextStretches(stretch, minimum, gap);
  m_painter->SetBadgeBelowText(m_covered > 0);
  return true;
}

bool CListColumns::SetCovered(int width) {
  width = std::max(0, width);
  if (width == m_covered) return false;
  if (m_covered == 0 && m_header) {
    // The widths IP and MAC have now, laid out without the panel, are the ones they keep.
    for (size_t i : {size_t{0}, size_t{1}}) {
      auto* cell = m_header->findChild<QWidget*>(QLatin1String(kHeaderCells[i]));
      m_uncoveredWidths[i] = cell ? cell->width() : 0;
    }
  }
  m_covered = width;
  m_applied = {};  // the next Fit lays the columns out again
  return true;
}
