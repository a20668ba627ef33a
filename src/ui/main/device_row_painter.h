#pragma once

#include <QColor>
#include <QPointer>
#include <QRect>
#include <QStyledItemDelegate>
#include <QWidget>
#include <array>

class CDeviceListItem;
class CDeviceSiteMarks;
class QAbstractButton;
class QBoxLayout;
class QLabel;

// Draws device rows from the row layout "DeviceListItem.xml": the layout is loaded once as a
// hidden template, laid out for the list's width, and its labels and buttons give each part's
// place, font, colour and look. Only visible rows are painted, so the cost does not grow with
// the number of devices.
class CDeviceRowPainter : public QStyledItemDelegate {
  Q_OBJECT
public:
  enum Part {
    kIndex,
    kIp,
    kMac,
    kModel,
    kRoom,
    kFirmware,
    kIpCopy,
    kMacCopy,
    kUpgrade,
    kPartCount,
    kNoPart = -1,
  };

  // template_ is the loaded row layout (root `item_device`); the painter keeps it hidden and
  // takes ownership when it has no parent.
  CDeviceRowPainter(QWidget* rowTemplate, QObject* parent = nullptr);
  ~CDeviceRowPainter() override;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

  // Loads the row layout from the skin folder with a plain loader (rows have no custom
  // controls); null, with the reason in *error, when the file is missing or its root is not
  // named item_device.
  static QWidget* LoadTemplate(const QString& skinDir, QString* error = nullptr);

  int RowHeight() const { return m_rowHeight; }
  // The part of a row under a point given relative to the row's top left corner.
  Part PartAt(const QPoint& rowPoint, int rowWidth) const;
  // Where a part lies in a row of the given width (relative to the row); empty when absent.
  QRect PartRect(Part part, int rowWidth) const;
  bool IsButton(Part part) const { return part == kIpCopy || part == kMacCopy || part == kUpgrade; }
  QString PartToolTip(Part part) const;

  // Mouse state of the view, so buttons are drawn hovered or pressed.
  void SetHot(int row, Part part, bool pressed);

  static QString PartText(const CDeviceListItem& row, Part part);
  // The part whose control in the row layout is named `name`; kNoPart when none is.
  static Part PartNamed(const QString& name);

  // The free spaces of a row (viewport coordinates) for its status dot (before the index) and
  // its problem badge (after the firmware text).
  void SiteMarkSpaces(const CDeviceListItem& row, const QRect& rowRect, QRect* dotSpace,
                      QRect* badgeSpace) const;
  // The width a part needs to show `text` whole, in the font and margins of its label.
  int TextWidth(Part part, const QString& text) const;
  // Shares the row's width between the text parts (kIp to kFirmware) in these proportions (0:
  // just its minimum), none narrower than its minimum, with `actionGap` pixels kept free before
  // the Action column; the list header gives its columns the same, so both stay aligned.
  void SetTextStretches(const std::array<int, kFirmware - kIp + 1>& stretches,
                        const std::array<int, kFirmware - kIp + 1>& minimums, int actionGap = 0);
  // Draws a row's problem badge below its firmware text instead of after it (while the device
  // panel leaves the firmware column little room).
  void SetBadgeBelowText(bool below);
  // Keeps `width` pixels free in `layout` just before `cell` (a fixed spacer there, made on first
  // use); 0 removes the room.
  static void SetGapBefore(QBoxLayout* layout, QWidget* cell, int width);

  // Status dots, problem badges and muted missing rows, drawn over each row (null: none).
  void SetSiteMarks(const CDeviceSiteMarks* marks) { m_siteMarks = marks; }
  const CDeviceSiteMarks* SiteMarks() const { return m_siteMarks; }

private:
  void Layout(int width) const;
  bool BadgeBelow(const CDeviceListItem& row) const;

  QPointer<QWidget> m_template;
  std::array<QWidget*, kPartCount> m_parts{};
  int m_rowHeight = 36;
  mutable int m_laidOutWidth = -1;
  mutable std::array<QRect, kPartCount> m_rects{};
  QColor m_rowColor, m_altRowColor, m_hoverColor, m_selectedColor, m_lineColor;
  int m_hotRow = -1;
  Part m_hotPart = kNoPart;
  bool m_pressed = false;
  const CDeviceSiteMarks* m_siteMarks = nullptr;
  bool m_badgeBelow = false;
};
