#pragma once

#include <QObject>
#include <QPointer>

class CDeviceSelection;
class QListView;

// The main list's context menu: what can be done with the selected devices. A right click on a
// row outside the selection selects that row alone first, as in any file list. The choice is
// announced after the menu has closed (Chosen), so that the action may open modal windows.
class CDeviceContextMenu : public QObject {
  Q_OBJECT
public:
  enum Action { kUpgrade, kReboot, kStaticIp, kCopyRows, kExport };

  CDeviceContextMenu(QListView* view, CDeviceSelection* selection);

signals:
  void Chosen(int action);

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void Show(const QPoint& viewportPos, const QPoint& globalPos);

  QPointer<QListView> m_view;
  CDeviceSelection* m_selection;
};
