#pragma once

#include <QObject>
#include <QPointer>
#include <set>
#include <string>
#include <vector>

#include "core/common/device_entry.h"

class CDeviceListModel;
class QItemSelection;
class QListView;

// The main list's multiple selection (Ctrl/Shift-click, Ctrl+A, Shift+arrows), kept by MAC: the
// rows are refilled every second, re-sorted and refiltered, and a selected device stays selected
// through all of it, also while a filter hides it. Actions work on the selected rows in view.
class CDeviceSelection : public QObject {
  Q_OBJECT
public:
  CDeviceSelection(QListView* view, CDeviceListModel* model);

  // The selected devices among the rows in view, in row order.
  std::vector<DEVICE_ENTRY_T> SelectedDevices() const;
  std::vector<int> SelectedRows() const;
  int SelectedCount() const;
  // Every MAC kept selected (upper-cased), shown or not.
  const std::set<std::string>& SelectedMacKeys() const { return m_macs; }
  void Clear();
  // The latest click on a row held Ctrl or Shift: it changed the selection rather than chose
  // one device.
  bool LastClickExtended() const { return m_lastClickExtended; }

signals:
  void Changed();

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void OnSelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);
  void Reapply();  // selects every row whose MAC is kept

  QPointer<QListView> m_view;
  CDeviceListModel* m_model;
  std::set<std::string> m_macs;
  bool m_applying = false;
  bool m_lastClickExtended = false;
};
