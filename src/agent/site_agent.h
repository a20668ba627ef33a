#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "agent/document_changes.h"
#include "core/control/site_look.h"

class CMqttLink;
class CEventSpool;

struct SITE_AGENT_SETTINGS_T {
  std::string site;
  std::string brokerText;  // the broker's URL, for the log
  int heartbeatSeconds = 60;
};

// The site agent: watches one site's devices, as `watch` does, and publishes them to an MQTT
// broker: a retained document per device when it changes, each event in order with QoS 1, and
// the site's status (retained, "offline" as the last will) with a heartbeat every minute.
// Events raised while the broker is away wait in a bounded spool on disk and go out, in order,
// after the reconnect. What changed comes from the site look: an idle second costs no walk over
// the devices and builds no document.
class CSiteAgent {
public:
  using Clock = std::chrono::steady_clock;

  // `look` is watching (CSiteLook::Watch) and records problems through its hook.
  CSiteAgent(SITE_AGENT_SETTINGS_T settings, CSiteLook* look, CMqttLink* link, CEventSpool* spool);

  // One look at the site: new events into the spool, changed documents out.
  void Look();
  // Often: acknowledgements in, the next events out, a (re)connect noticed.
  void Pump(Clock::time_point now);
  void PublishStatus(const char* state);
  bool AllDelivered() const;
  // Device documents not yet published since they last changed (by MAC).
  size_t DocumentsDue() const { return m_due.size(); }

private:
  void PublishDocuments();
  void ReportRefusal();

  SITE_AGENT_SETTINGS_T m_settings;
  CSiteLook* m_look;
  CMqttLink* m_link;
  CEventSpool* m_spool;
  CDocumentChanges m_documents;
  // Devices whose document may differ from the one on the broker: changed since published, or
  // all of them after a (re)connect.
  std::set<std::string> m_due;
  bool m_allDue = true;
  std::map<int, uint64_t> m_inFlight;  // message id -> event sequence number
  uint64_t m_nextToSend = 0;
  uint64_t m_connects = 0;
  bool m_wasConnected = false;
  std::string m_lastRefusal;
  std::string m_lastCertificateRefusal;
  Clock::time_point m_nextHeartbeat = Clock::time_point::max();
};

// What the agent's run needs besides the broker link and the spool.
struct SITE_AGENT_RUN_T {
  SITE_AGENT_SETTINGS_T settings;
  std::vector<IPV4_SUBNET_T> subnets;  // the capture adapter's, read while the capture is open
  SiteProblemHook recordProblems;      // the site record's problem events
  std::function<bool()> stopRequested;
  std::function<void()> closeCapture;  // before the last look
};

// Runs the agent on the control core (its capture open) until stopRequested says so, then ends
// cleanly: the last events get a moment to be acknowledged and the site says "offline" itself.
void RunSiteAgent(const SITE_AGENT_RUN_T& run, CMqttLink* link, CEventSpool* spool);
