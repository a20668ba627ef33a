#include "ui/main/device_list_item.h"

#include "core/device_sort.h"
#include "core/mac_text.h"

CDeviceListItem::CDeviceListItem(const DEVICE_ENTRY_T& device) : m_device(device) {
  m_indexText = QString::number(m_index);
  Fill();
}

void CDeviceListItem::SetIndex(unsigned index) {
  if (index == m_index) return;
  m_index = index;
  m_indexText = QString::number(index);
}

void CDeviceListItem::UpdateDeviceInfo(const DEVICE_ENTRY_T& device) {
  m_device = device;
  Fill();
}

void CDeviceListItem::Fill() {
  m_ipText = QString::fromStdString(m_device.ip);
  m_macText = QString::fromStdString(DisplayMacText(m_device.mac));
  m_modelText = QString::fromStdString(m_device.model);
  m_roomText = QString::fromStdString(m_device.deviceId);
  m_firmwareText = QString::fromStdString(m_device.firmware);
  m_ipValid = CDeviceSort::ParseIPv4(m_device.ip, &m_ipNumber);
  if (!m_ipValid) m_ipNumber = 0;
  m_modelKey = m_modelText.toUpper();
  m_macKey = m_macText.toUpper();
}
