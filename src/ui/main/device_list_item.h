#pragma once

#include <QString>
#include <cstdint>

#include "core/device_entry.h"

// One row of the device list: the device's record, its 1-based position and the values the
// list draws and sorts on, prepared once per change so that painting and sorting thousands of
// rows never converts or re-parses a text.
class CDeviceListItem {
public:
  explicit CDeviceListItem(const DEVICE_ENTRY_T& device);

  void SetIndex(unsigned index);
  unsigned GetIndex() const { return m_index; }

  DEVICE_ENTRY_T GetDeviceInfo() const { return m_device; }
  const DEVICE_ENTRY_T& Device() const { return m_device; }
  // Copies the record and rewrites the shown texts. The work MAC is kept but never shown.
  void UpdateDeviceInfo(const DEVICE_ENTRY_T& device);

  // The texts the row shows.
  const QString& IndexText() const { return m_indexText; }
  const QString& IpText() const { return m_ipText; }
  const QString& MacText() const { return m_macText; }
  const QString& ModelText() const { return m_modelText; }
  const QString& RoomText() const { return m_roomText; }
  const QString& FirmwareText() const { return m_firmwareText; }

  // Sort keys: the IPv4 address as a host-order number (valid only when IpValid()), the model
  // and the MAC upper-cased for comparisons that ignore case.
  bool IpValid() const { return m_ipValid; }
  uint32_t IpNumber() const { return m_ipNumber; }
  const QString& ModelKey() const { return m_modelKey; }
  const QString& MacKey() const { return m_macKey; }

private:
  void Fill();

  unsigned m_index = 0;
  DEVICE_ENTRY_T m_device;
  QString m_indexText;
  QString m_ipText, m_macText, m_modelText, m_roomText, m_firmwareText;
  bool m_ipValid = false;
  uint32_t m_ipNumber = 0;
  QString m_modelKey, m_macKey;
};
