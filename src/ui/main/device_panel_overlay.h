#pragma once

#include <QObject>
#include <QPointer>

class QWidget;

// Lays the device panel over the right part of the device list instead of beside it: the list
// keeps its width whether the panel is open or not, so no row and no row button moves under the
// pointer when the panel opens or closes (a click meant for one row's button would otherwise
// land on another's).
class CDevicePanelOverlay : public QObject {
  Q_OBJECT
public:
  // panel: the device panel; list: the list it covers; host: the widget both lie in (an
  // ancestor of list), which becomes the panel's parent.
  CDevicePanelOverlay(QWidget* panel, QWidget* list, QWidget* host);

  void Place();

signals:
  // The panel was placed, shown or hidden: what it covers of the list may have changed.
  void CoverChanged();

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  QPointer<QWidget> m_panel;
  QPointer<QWidget> m_list;
  QPointer<QWidget> m_host;
};
