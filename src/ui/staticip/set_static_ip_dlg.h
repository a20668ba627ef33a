#pragma once

#include <vector>

#include "core/common/device_entry.h"
#include "ui/framework/base_dlg.h"

class QAbstractButton;
class QLabel;
class QListView;
class CSetStaticIPListModel;
class CStaticIpListView;

// The batch static IP selection ("SetStaticIPDlg.xml"): every device the control core knows,
// one row with a checkbox each, refreshed once a second, sortable by IP or model. OK hands the
// ticked devices, in the order shown, to the caller (GetSelectedDevices).
class CSetStaticIPDlg : public CBaseDlg {
  Q_OBJECT
public:
  static constexpr int kRefreshTimerId = 1;

  CSetStaticIPDlg(QWidget* parent, bool useMask = false);
  ~CSetStaticIPDlg() override;

  std::vector<DEVICE_ENTRY_T> GetSelectedDevices() const { return m_selectedDevices; }
  CSetStaticIPListModel* Model() const { return m_model; }

  // Brings the rows up to date with the control core's table (the once-a-second refresh).
  void RefreshDeviceList();

protected:
  QString GetLayoutFileName() const override { return QStringLiteral("SetStaticIPDlg.xml"); }
  void InitWindow() override;
  // Starts the refresh timer; a test runs the refresh itself instead.
  virtual void StartRefreshTimer();
  IPS_DECLARE_MESSAGE_MAP()

private:
  void OnTimer(TNotifyMsg& msg);
  void OnBtnRefreshClicked(TNotifyMsg& msg);
  void OnBtnOkClicked(TNotifyMsg& msg);
  void OnBtnCancelClicked(TNotifyMsg& msg);
  void OnBtnIpSortClicked(TNotifyMsg& msg);
  void OnBtnModelSortClicked(TNotifyMsg& msg);
  void OnCheckAllSelectChanged(TNotifyMsg& msg);
  void OnCheckItemSelectChanged(TNotifyMsg& msg);

  void ToggleSort(QAbstractButton* button, QAbstractButton* other);
  void OnRowClicked(int row);
  void UpdateDeviceCount();
  bool CheckAllState() const;

  CSetStaticIPListModel* m_model;
  CStaticIpListView* m_listView = nullptr;
  QListView* m_pListDevice = nullptr;
  QAbstractButton* m_pBtnIpSort = nullptr;
  QAbstractButton* m_pBtnModelSort = nullptr;
  QAbstractButton* m_pCheckAll = nullptr;
  QLabel* m_pLabelDeviceCount = nullptr;
  std::vector<DEVICE_ENTRY_T> m_selectedDevices;
};
