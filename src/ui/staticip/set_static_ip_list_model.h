#pragma once

#include <QAbstractListModel>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/common/device_entry.h"
#include "ui/staticip/set_static_ip_item.h"

// The rows of the batch static IP selection and the rules that keep them up to date: one row per
// MAC (ignoring case), rows only added or updated by Refresh, new rows ticked as the caller says,
// sorted by IP or model like the main list. Works without a window.
class CSetStaticIPListModel : public QAbstractListModel {
  Q_OBJECT
public:
  // Parts of the row layout, in the order the painter is given them.
  enum Part { kCheck, kIp, kMac, kModel, kPartCount };
  static QStringList PartNames();

  explicit CSetStaticIPListModel(QObject* parent = nullptr);
  ~CSetStaticIPListModel() override;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;

  int Count() const { return static_cast<int>(m_rows.size()); }
  const CSetStaticIPItem* RowAt(int row) const;
  int FindRow(const std::string& mac) const;  // ignoring case; -1 when none

  void RemoveAll();
  // Adds the table's new devices at the end (checked = checkNew) and updates changed ones, then
  // sorts when a sort state is on.
  void Refresh(const std::vector<DEVICE_ENTRY_T>& table, bool checkNew);
  void SetSortStates(int ipState, int modelState);

  // Sets a row's checkbox; emits CheckChanged(row) when `notify` is true.
  void SetChecked(int row, bool checked, bool notify);
  void SetAllChecked(bool checked, bool notify);
  // At least one row and none unchecked.
  bool AllChecked() const;
  int CheckedCount() const;
  // The checked devices in list order.
  std::vector<DEVICE_ENTRY_T> CheckedDevices() const;

  // One line per row, tab-separated: checked (1/0), IP, MAC, model.
  Q_INVOKABLE QString DumpText() const;

signals:
  void CheckChanged(int row);

private:
  void SortRows();

  std::vector<std::unique_ptr<CSetStaticIPItem>> m_rows;
  std::unordered_map<std::string, CSetStaticIPItem*> m_byMac;  // CompactMacText -> row
  int m_uncheckedCount = 0;
  int m_ipSort = 1;
  int m_modelSort = 0;
};
