#pragma once

#include <QPointer>
#include <array>
#include <QWidget>

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

  // Measures again and applies the shares when they changed; true when they did.
  bool Fit(const CDeviceListModel& model, const CDeviceSiteMarks* marks);

private:
  QPointer<QWidget> m_header;
  CDeviceRowPainter* m_painter;
  std::array<int, 5> m_applied{};
};
