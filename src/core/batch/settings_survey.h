#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "core/common/device_entry.h"
#include "core/control/control_notify.h"

class CControl;
class IOpClock;

// What one device reported when asked for its settings.
struct SURVEYED_SETTINGS_T {
  std::string ip, mode, mask, gateway;  // mode "dhcp", "static" or the device's own text
};

// Before a report: asks every listed device for its current network settings with the
// configuration request the batch static run sends (addressing type and the Status values; no
// credential needed) and collects the reports. Devices that have not answered when the time is
// up are left out of Answers(): the report marks them.
class CSettingsSurvey : public CControlBaseNotify {
public:
  // A second request goes to the devices still silent at half time.
  static constexpr std::chrono::milliseconds kDefaultLimit{5000};

  using Progress = std::function<void(size_t answered, size_t total)>;

  explicit CSettingsSurvey(std::vector<DEVICE_ENTRY_T> devices);

  // Registers with the control core, sends the requests, waits on the clock until every device
  // answered or `limit` passed, and unregisters. progress runs on the caller's thread whenever
  // the count changed.
  void Run(CControl& control, IOpClock& clock, std::chrono::milliseconds limit = kDefaultLimit,
           const Progress& progress = {});

  // Worker thread.
  void OnReportConfig(std::string deviceKey, std::string ip, int port,
                      const std::vector<std::string>* items) override;

  // By MAC in its one spelling ("AA:BB:CC:DD:EE:FF", DisplayMacText).
  std::map<std::string, SURVEYED_SETTINGS_T> Answers() const;
  size_t AnsweredCount() const;

private:
  std::vector<DEVICE_ENTRY_T> m_devices;
  std::map<std::string, std::string> m_siteMacByKey;  // table MAC text -> DisplayMacText
  mutable std::mutex m_lock;
  std::map<std::string, SURVEYED_SETTINGS_T> m_answers;
};
