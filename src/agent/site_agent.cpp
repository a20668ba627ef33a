#include "agent/site_agent.h"

#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <nlohmann/json.hpp>
#include <thread>

#include "agent/agent_topics.h"
#include "agent/event_spool.h"
#include "agent/mqtt_link.h"
#include "core/common/mac_text.h"
#include "core/control/control.h"
#include "core/export/device_table_output.h"
#include "core/export/site_output.h"
#include "platform/file_version.h"

namespace {

constexpr auto kDiscoveryInterval = std::chrono::seconds(5);
constexpr auto kLookInterval = std::chrono::seconds(1);
constexpr auto kPumpInterval = std::chrono::milliseconds(100);
// Events sent but not yet acknowledged; the rest wait in the spool.
constexpr size_t kEventsInFlight = 100;
constexpr auto kShutdownGrace = std::chrono::seconds(3);

std::string Json(const nlohmann::json& object) {
  return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof(name) - 1) != 0) return "host";
  return name;
}

}  // namespace

CSiteAgent::CSiteAgent(SITE_AGENT_SETTINGS_T settings, CSiteLook* look, CMqttLink* link,
                       CEventSpool* spool)
    : m_settings(std::move(settings)), m_look(look), m_link(link), m_spool(spool) {}

void CSiteAgent::Look() {
  const SITE_NOW_T& now = m_look->Look();
  if (!now.events.empty()) {
    const CSiteOutput output(*now.status, *now.problems, *now.subnets,
                             std::chrono::system_clock::now());
    for (const SITE_EVENT_T& event : now.events) {
      nlohmann::json object = output.EventObject(event);
      object["site"] = m_settings.site;
      object["seq"] = m_spool->NextSeq();
      m_spool->Append(Json(object));
    }
  }
  m_spool->Flush();
  for (size_t i : now.changed) m_due.insert((*now.table)[i].mac);
  for (const std::string& mac : now.gone) m_due.erase(mac);
  if (m_link->Connected()) PublishDocuments();
}

void CSiteAgent::PublishDocuments() {
  const SITE_NOW_T& now = m_look->Last();
  if (m_allDue) {
    for (const DEVICE_ENTRY_T& device : *now.table) m_due.insert(device.mac);
    m_allDue = false;
  }
  if (m_due.empty()) return;
  const CSiteOutput output(*now.status, *now.problems, *now.subnets,
                           std::chrono::system_clock::now());
  for (auto due = m_due.begin(); due != m_due.end();) {
    const DEVICE_ENTRY_T* device = m_look->Find(*due);
    if (device == nullptr) {
      due = m_due.erase(due);
      continue;
    }
    nlohmann::json document = CDeviceTableOutput::DeviceJson(*device);
    output.AddDeviceFields(*device, document);
    document["site"] = m_settings.site;
    const std::string key = CompactMacText(device->mac);
    if (!m_documents.Differs(key, document)) {
      due = m_due.erase(due);
    } else if (m_link->Publish(SiteDeviceTopic(m_settings.site, key), Json(document), 1, true) >
               0) {
      m_documents.MarkPublished(key, document);
      due = m_due.erase(due);
    } else {
      ++due;  // again at the next look
    }
  }
}

void CSiteAgent::Pump(Clock::time_point now) {
  if (!m_link->Connected()) {
    if (m_wasConnected) {
      std::cerr << "agent: connection to the broker lost; " << m_spool->PendingCount()
                << " events wait, reconnecting\n";
      m_wasConnected = false;
    }
    ReportRefusal();
    return;
  }
  if (m_link->ConnectCount() != m_connects) {
    m_connects = m_link->ConnectCount();
    // Anything in flight when the link dropped may be lost: send again from the first event
    // not acknowledged (consumers drop repeats by "seq"). Every document is due again.
    m_inFlight.clear();
    m_nextToSend = m_spool->FirstPending();
    m_documents.ForgetAll();
    m_allDue = true;
    m_wasConnected = true;
    std::cerr << "agent: connected to " << m_settings.brokerText << " as site " << m_settings.site
              << "; " << m_spool->PendingCount() << " events to deliver\n";
    PublishStatus("online");
    m_nextHeartbeat = now + std::chrono::seconds(m_settings.heartbeatSeconds);
  }
  for (int mid : m_link->TakeAcknowledged()) {
    const auto it = m_inFlight.find(mid);
    if (it == m_inFlight.end()) continue;  // a document or the status
    m_spool->Acknowledge(it->second);
    m_inFlight.erase(it);
  }
  m_nextToSend = std::max(m_nextToSend, m_spool->FirstPending());
  if (m_inFlight.size() < kEventsInFlight) {
    for (const CEventSpool::EVENT_T& event :
         m_spool->PendingFrom(m_nextToSend, kEventsInFlight - m_inFlight.size())) {
      const int mid = m_link->Publish(SiteEventsTopic(m_settings.site), event.payload, 1, false);
      if (mid == 0) break;
      m_inFlight[mid] = event.seq;
      m_nextToSend = event.seq + 1;
    }
  }
  m_spool->Flush();
  if (now >= m_nextHeartbeat) {
    PublishStatus("online");
    m_nextHeartbeat = now + std::chrono::seconds(m_settings.heartbeatSeconds);
  }
}

void CSiteAgent::PublishStatus(const char* state) {
  const SITE_WATCH_SUMMARY_T& s = m_look->WatchSummary();
  const nlohmann::json status = {{"site", m_settings.site},
                                 {"state", state},
                                 {"time", CSiteOutput::IsoTime(std::chrono::system_clock::now())},
                                 {"devices", s.devices},
                                 {"online", s.online},
                                 {"missing", s.missing},
                                 {"with_problems", s.withProblems},
                                 {"events_waiting", m_spool->PendingCount()},
                                 {"events_dropped", m_spool->Dropped()},
                                 {"host", HostName()},
                                 {"version", GetCompiledVersionText()}};
  m_link->Publish(SiteStatusTopic(m_settings.site), Json(status), 1, true);
}

bool CSiteAgent::AllDelivered() const { return m_inFlight.empty() && m_spool->PendingCount() == 0; }

// Each new reason once; the link goes on trying (a certificate may be renewed, an account
// unlocked).
void CSiteAgent::ReportRefusal() {
  const std::string refusal = m_link->LastRefusal();
  if (!refusal.empty() && refusal != m_lastRefusal) {
    std::cerr << "agent: the broker refused the connection: " << refusal << "\n";
  }
  m_lastRefusal = refusal;
  const std::string certificate = m_link->CertificateRefusal();
  if (!certificate.empty() && certificate != m_lastCertificateRefusal) {
    std::cerr << "agent: the broker's certificate was refused (" << certificate
              << "): it is not signed by the CA of --ca (or the system's), has expired, or is "
                 "for another host name; still trying\n";
  }
  m_lastCertificateRefusal = certificate;
}

void RunSiteAgent(const SITE_AGENT_RUN_T& run, CMqttLink* link, CEventSpool* spool) {
  using Clock = CSiteAgent::Clock;
  CControl* control = CControl::GetInstance();
  CSiteLook look(SITE_LOOK_SOURCES_T::Of(control, run.subnets), run.recordProblems);
  look.Watch();
  CSiteAgent agent(run.settings, &look, link, spool);

  auto nextDiscovery = Clock::now();
  auto nextLook = nextDiscovery + kLookInterval;
  while (!run.stopRequested()) {
    const auto now = Clock::now();
    if (now >= nextDiscovery) {
      control->MulticastDiscoveryMsg();
      nextDiscovery += kDiscoveryInterval;
      agent.Look();
    } else if (now >= nextLook) {
      nextLook = now + kLookInterval;
      agent.Look();
    }
    agent.Pump(now);
    std::this_thread::sleep_until(std::min({nextDiscovery, nextLook, now + kPumpInterval}));
  }

  // A clean end: the site says offline itself (a clean disconnect sends no will) and what is in
  // flight gets a moment to be acknowledged; anything left stays in the spool for the next run.
  if (run.closeCapture) run.closeCapture();
  agent.Look();
  const auto giveUp = Clock::now() + kShutdownGrace;
  while (Clock::now() < giveUp && link->Connected() && !agent.AllDelivered()) {
    agent.Pump(Clock::now());
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (link->Connected()) {
    agent.PublishStatus("offline");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  link->Disconnect();
  spool->Flush();
  std::cerr << "agent: stopped; " << spool->PendingCount() << " events not yet delivered\n";
}
