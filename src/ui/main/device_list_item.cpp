#include "ui/main/device_list_item.h"

#include "core/common/device_sort.h"
#include "core/common/mac_text.h"

CDeviceListItem::CDeviceListItem(const DEVICE_ENTRY_T& device) : m_device(device) { Fill(); }

void CDeviceListItem::SetIndex(unsigned index) { m_index = index; }

const QString& CDeviceListItem::IndexText() const {
  if (m_indexTextOf != m_index) {
    m_indexText = QString::number(m_index);
    m_indexTextOf = m_index;
  }
  return m_indexText;
}

void CDeviceListItem::UpdateDeviceInfo(const DEVICE_ENTRY_T& device) {
  m_device = device;
  Fill();
}

void CDeviceListItem::TakeDeviceInfo(CDeviceListItem&& prepared) {
  const unsigned index = m_index;
  *this = std::move(prepared);
  m_index = index;
}

void CDeviceListItem::Fill() {
  m_key = CompactMacText(m_device.mac);
  m_ipText = QString::fromStdString(m_device.ip);
  m_macText = QString::fromStdString(DisplayMacText(m_device.mac));
  m_modelText = QString::fromStdString(m_device.model);
  m_roomText = QString::fromStdString(m_device.deviceId);
  m_firmwareText = QString::fromStdString(m_device.firmware);
  m_ipValid = CDeviceSort::ParseIPv4(m_device.ip, &m_ipNumber);
  if (!m_ipValid) m_ipNumber = 0;
  m_modelKey = m_modelText.toUpper();
  m_macKey = m_macText.toUpper();
  m_widths = {-1, -1, -1, -1, -1};
}
