#include "core/export/site_output.h"

#include <cstdio>
#include <ctime>
#include <nlohmann/json.hpp>

#include "core/export/device_table_output.h"
#include "shell/terminal_text.h"

namespace {

std::string Dump(const nlohmann::json& object) {
  // Invalid UTF-8 from a device is replaced rather than aborting the output.
  return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

CSiteOutput::CSiteOutput(const STATUS_SNAPSHOT_T& status, const SiteProblemMap& problems,
                         std::vector<IPV4_SUBNET_T> subnets,
                         std::chrono::system_clock::time_point wallAtSnapshot)
    : m_status(status),
      m_problems(problems),
      m_subnets(std::move(subnets)),
      m_wallAtSnapshot(wallAtSnapshot) {}

std::chrono::system_clock::time_point CSiteOutput::WallTime(
    std::chrono::milliseconds trackerTime) const {
  return m_wallAtSnapshot - std::chrono::duration_cast<std::chrono::system_clock::duration>(
                                m_status.now - trackerTime);
}

std::string CSiteOutput::IsoTime(std::chrono::system_clock::time_point time) {
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
  const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[64];
  std::snprintf(text, sizeof(text), "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>(ms % 1000));
  return text;
}

std::string CSiteOutput::ClockTime(std::chrono::system_clock::time_point time) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[16];
  std::strftime(text, sizeof(text), "%H:%M:%S", &local);
  return text;
}

void CSiteOutput::AddDeviceFields(const DEVICE_ENTRY_T& device, nlohmann::json& object) const {
  const DEVICE_LIVE_T live = m_status.LiveOf(device.mac);
  object["status"] = StatusText(live.status);
  object["new"] = live.isNew;
  object["first_seen"] = live.known ? nlohmann::json(IsoTime(WallTime(live.firstSeen))) : nullptr;
  object["last_seen"] = live.known ? nlohmann::json(IsoTime(WallTime(live.lastSeen))) : nullptr;
  nlohmann::json problems = nlohmann::json::array();
  const auto it = m_problems.find(device.mac);
  if (it != m_problems.end()) {
    for (const SITE_PROBLEM_T& p : it->second) {
      problems.push_back({{"code", CSiteProblems::Code(p.code)},
                          {"text", CSiteProblems::ShortText(p.code)},
                          {"detail", CSiteProblems::Explanation(p, m_subnets)}});
    }
  }
  object["problems"] = std::move(problems);
}

std::string CSiteOutput::ProblemSummary(const std::vector<DEVICE_ENTRY_T>& devices) const {
  std::string lines;
  size_t affected = 0;
  for (const DEVICE_ENTRY_T& d : devices) {
    const auto it = m_problems.find(d.mac);
    if (it == m_problems.end()) continue;
    ++affected;
    for (const SITE_PROBLEM_T& p : it->second) {
      lines += "  " + TerminalSafe(d.mac) + "  " + TerminalSafe(d.ip) + "  " +
               CSiteProblems::ShortText(p.code) + ": " +
               TerminalSafe(CSiteProblems::Explanation(p, m_subnets)) + "\n";
    }
  }
  if (affected == 0) return "";
  return "\nProblems: " + std::to_string(affected) + (affected == 1 ? " device\n" : " devices\n") +
         lines;
}

std::string CSiteOutput::EventLine(const SITE_EVENT_T& event) const {
  const DEVICE_ENTRY_T& d = event.device;
  std::string line = ClockTime(WallTime(event.time)) + "  " + CSiteWatch::EventName(event.kind);
  line.append(line.size() < 24 ? 24 - line.size() : 1, ' ');
  line += TerminalSafe(d.mac) + "  " + TerminalSafe(d.ip);
  switch (event.kind) {
    case ESiteEvent::kNew:
      line += "  " + TerminalSafe(d.model) + "  room " + TerminalSafe(d.deviceId) + "  firmware " +
              TerminalSafe(d.firmware);
      break;
    case ESiteEvent::kMissing:
      line += "  last seen " + ClockTime(WallTime(event.lastSeen));
      break;
    case ESiteEvent::kChanged:
      if (event.before.ip != d.ip) line += "  IP was " + TerminalSafe(event.before.ip);
      if (event.before.firmware != d.firmware) {
        line +=
            "  firmware " + TerminalSafe(event.before.firmware) + " -> " + TerminalSafe(d.firmware);
      }
      break;
    case ESiteEvent::kProblem:
      line += "  " + CSiteProblems::ShortText(event.problem.code) + ": " +
              TerminalSafe(CSiteProblems::Explanation(event.problem, m_subnets));
      break;
    case ESiteEvent::kProblemGone:
      line += "  " + CSiteProblems::ShortText(event.problem.code) + " resolved";
      break;
    case ESiteEvent::kBack:
    default:
      break;
  }
  return line;
}

std::string CSiteOutput::EventJson(const SITE_EVENT_T& event) const {
  return Dump(EventObject(event));
}

nlohmann::json CSiteOutput::EventObject(const SITE_EVENT_T& event) const {
  nlohmann::json object = {{"event", CSiteWatch::EventName(event.kind)},
                           {"time", IsoTime(WallTime(event.time))}};
  object.update(CDeviceTableOutput::DeviceJson(event.device));
  switch (event.kind) {
    case ESiteEvent::kMissing:
      object["last_seen"] = IsoTime(WallTime(event.lastSeen));
      break;
    case ESiteEvent::kChanged:
      object["previous_ip"] = event.before.ip;
      object["previous_firmware"] = event.before.firmware;
      break;
    case ESiteEvent::kProblem:
    case ESiteEvent::kProblemGone:
      object["problem"] = CSiteProblems::Code(event.problem.code);
      object["text"] = CSiteProblems::ShortText(event.problem.code);
      object["detail"] = CSiteProblems::Explanation(event.problem, m_subnets);
      break;
    default:
      break;
  }
  return object;
}
