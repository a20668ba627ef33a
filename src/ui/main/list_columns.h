#pragma once

#include <QPointer>
#include <QWidget>
#include <array>

class CDeviceListModel;
class CDeviceRowPainter;
class CDeviceSiteMarks;

// Lays out the device list's text columns (IP, MAC, model, room, firmware) from what they show:
// each gets a share of the width in proportion to the widest of its header and its rows (the
// firmware's with room for the problem badge), so a short column gives way to long model names
// and no header is cut while the list has room. Header and rows get the same shares.
class CListColumns {
public:
  CListColumns(QWidget* header, CDeviceRowPainter* painter);

  // Measures again and applies the shares when they changed; true when they did. A row's texts
  // are measured once (the row keeps their widths until they change). A large list is gone
  // through a slice per call (so many rows, a few milliseconds of measuring), and the shares
  // are applied when a pass has seen every row; until then Pending() holds and the caller calls
  // again. Rows that move meanwhile may be seen twice or at the next pass.
  bool Fit(const CDeviceListModel& model, const CDeviceSiteMarks* marks);
  bool Pending() const { return m_next > 0; }

  // The width of the rows' right part that the device panel covers (0: none). While covered,
  // the text columns share what stays in view: IP and MAC keep the widths they had (no copy
  // button moves), the firmware column shows its problem badge whole below the firmware text
  // left of the panel, and the model name gives way first; the Action column stays where it is,
  // under the panel. True when it changed (the next Fit applies it).
  bool SetCovered(int width);

private:
  QPointer<QWidget> m_header;
  CDeviceRowPainter* m_painter;
  std::array<int, 5> m_applied{};
  int m_appliedStacked = 0;
  int m_covered = 0;
  std::array<int, 2> m_uncoveredWidths{};  // IP and MAC before the panel covered the rows
  int m_next = 0;                          // the row the pass goes on from; 0: no pass under way
  std::array<int, 5> m_passNeed{};         // the widest texts the pass has seen
};
