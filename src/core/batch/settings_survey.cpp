#include "core/batch/settings_survey.h"

#include "core/common/mac_text.h"
#include "core/common/op_clock.h"
#include "core/control/control.h"
#include "core/device/device_config_keys.h"
#include "core/device/device_operations.h"

CSettingsSurvey::CSettingsSurvey(std::vector<DEVICE_ENTRY_T> devices)
    : m_devices(std::move(devices)) {
  for (const DEVICE_ENTRY_T& d : m_devices) m_siteMacByKey[d.mac] = DisplayMacText(d.mac);
}

void CSettingsSurvey::OnReportConfig(std::string deviceKey, std::string ip, int,
                                     const std::vector<std::string>* items) {
  if (items == nullptr) return;
  const auto key = m_siteMacByKey.find(deviceKey);
  if (key == m_siteMacByKey.end()) return;
  const auto report = device_config::ParseReportItems(*items);
  const std::string type = device_config::ReportedType(report);
  // The poll of a batch static run reports the type alone; only a full answer counts here.
  if (type.empty() || report.size() < 2) return;
  auto value = [&report](const char* path) {
    const auto it = report.find(path);
    return it == report.end() ? std::string() : it->second;
  };
  SURVEYED_SETTINGS_T live;
  live.ip = value(device_config::kStatusIp);
  if (live.ip.empty()) live.ip = ip;
  live.mode = type == device_config::kTypeDhcp     ? "dhcp"
              : type == device_config::kTypeStatic ? "static"
                                                   : type;
  live.mask = value(device_config::kStatusNetmask);
  live.gateway = value(device_config::kStatusGateway);
  std::lock_guard<std::mutex> lock(m_lock);
  m_answers[key->second] = std::move(live);
}

void CSettingsSurvey::Run(CControl& control, IOpClock& clock, std::chrono::milliseconds limit,
                          const Progress& progress) {
  control.AddNotify(this);
  for (const DEVICE_ENTRY_T& d : m_devices) device_ops::RequestConfig(control, d);
  const auto start = clock.Now();
  bool resent = false;
  size_t shown = static_cast<size_t>(-1);
  PauseUntil(clock, limit, std::chrono::milliseconds(50), [&] {
    const size_t answered = AnsweredCount();
    if (progress && answered != shown) progress(answered, m_devices.size());
    shown = answered;
    if (answered >= m_devices.size()) return true;
    if (!resent && clock.Now() - start >= limit / 2) {
      resent = true;  // a lost request or answer gets a second chance
      const auto answers = Answers();
      for (const DEVICE_ENTRY_T& d : m_devices) {
        if (!answers.count(m_siteMacByKey.at(d.mac))) device_ops::RequestConfig(control, d);
      }
    }
    return false;
  });
  control.RemoveNotify(this);
}

std::map<std::string, SURVEYED_SETTINGS_T> CSettingsSurvey::Answers() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_answers;
}

size_t CSettingsSurvey::AnsweredCount() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_answers.size();
}
