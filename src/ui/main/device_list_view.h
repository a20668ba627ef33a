#pragma once

#include <QListView>
#include <QObject>
#include <QPointer>

#include "ui/main/device_row_painter.h"

class CDeviceListModel;
class QKeyEvent;
class QLabel;

// Binds the device list control of the main window (a QListView) to the row model and the row
// painter, and turns mouse clicks on a row's drawn buttons into signals with the row's position.
class CDeviceListView : public QObject {
  Q_OBJECT
public:
  // rowTemplate: the loaded "DeviceListItem.xml" (see CDeviceRowPainter).
  CDeviceListView(QListView* view, CDeviceListModel* model, QWidget* rowTemplate);

  QListView* View() const { return m_view; }
  // Text shown in the middle of the list while it has no rows ("" shows nothing).
  void SetEmptyText(const QString& text);
  QLabel* EmptyLabel() const { return m_emptyLabel; }
  CDeviceRowPainter* Painter() const { return m_painter; }
  // Where a row's part lies in view-port coordinates; empty when the row is not laid out.
  QRect PartRect(int row, CDeviceRowPainter::Part part) const;
  // Where the row's drawn button `name` (its name in the row layout: "btn_ip_copy",
  // "btn_mac_copy", "btn_upgrade"; "badge" for the problem badge) lies in view-port
  // coordinates; empty when there is none.
  Q_INVOKABLE QRect ButtonRect(int row, const QString& name) const;

signals:
  void IpCopyClicked(int row);
  void MacCopyClicked(int row);
  void UpgradeClicked(int row);
  // A click on the row outside its buttons.
  void ItemClicked(int row);
  // A left click on the problem badge of a row (globalPos: where, for a menu).
  void BadgeClicked(int row, const QPoint& globalPos);

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  struct Hit {
    int row = -1;
    CDeviceRowPainter::Part part = CDeviceRowPainter::kNoPart;
  };
  Hit HitAt(const QPoint& viewportPoint) const;
  void SetHot(const Hit& hit, bool pressed);
  void PressButton(const Hit& hit);  // emits the signal of the button hit.part of hit.row
  bool OnKey(QKeyEvent* key);        // keyboard access to the current row's buttons
  void UpdateEmptyLabel();
  // The tooltip of the status dot or the problem badge under a point of a row; "" elsewhere.
  QString SiteMarkToolTip(int row, const QPoint& viewportPoint) const;
  // Where the row's problem badge lies in view-port coordinates; empty when it has none.
  QRect BadgeRect(int row) const;

  QPointer<QListView> m_view;
  CDeviceListModel* m_model;
  CDeviceRowPainter* m_painter;
  QLabel* m_emptyLabel = nullptr;
  Hit m_hot;
  Hit m_pressed;
  CDeviceRowPainter::Part m_keyPart = CDeviceRowPainter::kNoPart;  // reached with the keyboard
};
