#pragma once

#include "core/common/device_entry.h"
#include "ui/main/device_list_item.h"

// One row of the batch static IP selection: the device's record with the texts and sort keys the
// list draws and sorts on (shared with the main list's rows), and the row's checkbox.
class CSetStaticIPItem {
public:
  explicit CSetStaticIPItem(const DEVICE_ENTRY_T& device) : m_record(device) {}

  DEVICE_ENTRY_T GetDeviceInfo() const { return m_record.GetDeviceInfo(); }
  const DEVICE_ENTRY_T& Device() const { return m_record.Device(); }
  // Replaces the record and the texts the row shows.
  void UpdateDeviceInfo(const DEVICE_ENTRY_T& device) { m_record.UpdateDeviceInfo(device); }
  const CDeviceListItem& Record() const { return m_record; }

  bool IsChecked() const { return m_checked; }
  // The model raises the selection-change notification when asked (CSetStaticIPListModel).
  void SetChecked(bool checked) { m_checked = checked; }

private:
  CDeviceListItem m_record;
  bool m_checked = false;
};
