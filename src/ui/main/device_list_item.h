#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <string>

#include "core/common/device_entry.h"

// One row of the device list: the device's record, its 1-based position and the values the
// list draws and sorts on, prepared once per change so that painting and sorting thousands of
// rows never converts or re-parses a text. Plain data: a row may be prepared on another thread
// and handed to the list.
class CDeviceListItem {
public:
  explicit CDeviceListItem(const DEVICE_ENTRY_T& device);

  // CompactMacText of the MAC: one row per MAC, whatever its spelling.
  const std::string& Key() const { return m_key; }

  void SetIndex(unsigned index);
  unsigned GetIndex() const { return m_index; }

  DEVICE_ENTRY_T GetDeviceInfo() const { return m_device; }
  const DEVICE_ENTRY_T& Device() const { return m_device; }
  // Copies the record and rewrites the shown texts. The work MAC is kept but never shown.
  void UpdateDeviceInfo(const DEVICE_ENTRY_T& device);
  // Takes the record and texts of a row prepared for the same MAC; the position stays.
  void TakeDeviceInfo(CDeviceListItem&& prepared);

  // The texts the row shows. The index text is made when asked for: a sort renumbers every row,
  // and only the rows in view show their number.
  const QString& IndexText() const;
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

  // The widths of the five text columns (IP .. firmware) as the list's font draws them, kept by
  // the column layout so that each text is measured once; -1 until measured, and again after a
  // change of the texts.
  using Widths = std::array<int, 5>;
  const Widths& TextWidths() const { return m_widths; }
  void SetTextWidths(const Widths& widths) const { m_widths = widths; }

private:
  void Fill();

  unsigned m_index = 0;
  DEVICE_ENTRY_T m_device;
  std::string m_key;
  mutable QString m_indexText;
  mutable unsigned m_indexTextOf = ~0u;  // the index m_indexText was made for
  mutable Widths m_widths{-1, -1, -1, -1, -1};
  QString m_ipText, m_macText, m_modelText, m_roomText, m_firmwareText;
  bool m_ipValid = false;
  uint32_t m_ipNumber = 0;
  QString m_modelKey, m_macKey;
};
