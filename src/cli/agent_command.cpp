// ipscanner-cli agent: watches one site's devices, as `watch` does, and publishes them to an MQTT
// broker: a retained document per device when it changes, each event in order with QoS 1, and
// the site's status (retained, "offline" as the last will) with a heartbeat every minute.
// Events raised while the broker is away wait in a bounded spool on disk and go out, in order,
// after the reconnect.
#include <unistd.h>

#include <chrono>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <thread>

#include "agent/agent_config.h"
#include "agent/agent_topics.h"
#include "agent/document_changes.h"
#include "agent/event_spool.h"
#include "agent/mqtt_link.h"
#include "cli/agent_options.h"
#include "cli/cli_exit_codes.h"
#include "cli/cli_session.h"
#include "cli/device_table_output.h"
#include "cli/mqtt_credentials.h"
#include "cli/site_output.h"
#include "cli/stop_signals.h"
#include "core/control/capture_subnets.h"
#include "core/control/control.h"
#include "core/common/mac_text.h"
#include "core/site/site_events.h"
#include "platform/file_version.h"
#include "platform/module_dir.h"
#include "platform/user_folders.h"
#include "shell/secure_wipe.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kDiscoveryInterval = std::chrono::seconds(5);
constexpr auto kLookInterval = std::chrono::seconds(1);
constexpr auto kPumpInterval = std::chrono::milliseconds(100);
// Events sent but not yet acknowledged; the rest wait in the spool.
constexpr size_t kEventsInFlight = 100;
constexpr size_t kSpoolBound = 100000;
constexpr auto kShutdownGrace = std::chrono::seconds(3);

std::string Json(const nlohmann::json& object) {
  return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// Command-line values win over the configuration file's.
int ApplyConfigFile(AgentOptions* options) {
  if (options->configPath.empty()) return kExitOk;
  AGENT_CONFIG_T config;
  std::string error;
  if (!ReadAgentConfig(options->configPath, &config, &error)) {
    std::cerr << "ipscanner-cli: " << error << "\n";
    return kExitFileError;
  }
  auto fill = [&config](const char* key, std::string* value) {
    const auto it = config.values.find(key);
    if (value->empty() && it != config.values.end()) *value = it->second;
  };
  fill("site", &options->site);
  fill("mqtt", &options->mqtt.url);
  fill("ca", &options->mqtt.caFile);
  fill("user", &options->mqtt.user);
  fill("password_file", &options->mqtt.passwordFile);
  fill("interface", &options->interfaceName);
  fill("spool", &options->spoolPath);
  if (const auto it = config.values.find("allow_plaintext_password"); it != config.values.end()) {
    bool allow = false;
    if (!ParseConfigSwitch(it->second, &allow)) {
      std::cerr << "ipscanner-cli: " << options->configPath
                << ": allow_plaintext_password is yes or no, not '" << it->second << "'\n";
      return kExitUsage;
    }
    options->mqtt.allowPlaintextPassword = options->mqtt.allowPlaintextPassword || allow;
  }
  return kExitOk;
}

std::string DefaultSpoolPath(const std::string& site) {
  const std::string module = GetModuleFolder();
  const std::string folder =
      IsModuleFolderReadOnly(module) ? UserDataFolder() + "/sites" : module + "/sites";
  if (!MakeFolders(folder)) return "";
  return folder + "/" + site + ".agent-spool";
}

std::string HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof(name) - 1) != 0) return "host";
  return name;
}

class CSiteAgent {
public:
  CSiteAgent(const AgentOptions& options, CMqttLink* link, CEventSpool* spool)
      : m_options(options), m_link(link), m_spool(spool) {}

  // One look at the table: new events into the spool, changed documents out.
  void Look() {
    CControl* control = CControl::GetInstance();
    const STATUS_SNAPSHOT_T status = control->DeviceStatus().Snapshot();
    const auto wallNow = std::chrono::system_clock::now();
    const std::vector<DEVICE_ENTRY_T> table = control->GetDeviceList();
    const SiteProblemMap problems = CSiteProblems::Compute(table, m_subnets);
    const CSiteOutput output(status, problems, m_subnets, wallNow);
    for (const SITE_EVENT_T& event : m_watch.Update(table, status, problems)) {
      nlohmann::json object = output.EventObject(event);
      object["site"] = m_options.site;
      object["seq"] = m_spool->NextSeq();
      m_spool->Append(Json(object));
    }
    m_spool->Flush();
    if (!m_link->Connected()) return;
    for (const DEVICE_ENTRY_T& device : table) {
      nlohmann::json document = CDeviceTableOutput::DeviceJson(device);
      output.AddDeviceFields(device, document);
      document["site"] = m_options.site;
      const std::string key = CompactMacText(device.mac);
      if (!m_documents.Differs(key, document)) continue;
      if (m_link->Publish(SiteDeviceTopic(m_options.site, key), Json(document), 1, true) > 0) {
        m_documents.MarkPublished(key, document);
      }
    }
  }

  // Often: acknowledgements in, the next events out, a (re)connect noticed.
  void Pump(Clock::time_point now) {
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
      m_wasConnected = true;
      std::cerr << "agent: connected to " << m_options.mqtt.url << " as site " << m_options.site
                << "; " << m_spool->PendingCount() << " events to deliver\n";
      PublishStatus("online");
      m_nextHeartbeat = now + std::chrono::seconds(m_options.heartbeatSeconds);
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
        const int mid = m_link->Publish(SiteEventsTopic(m_options.site), event.payload, 1, false);
        if (mid == 0) break;
        m_inFlight[mid] = event.seq;
        m_nextToSend = event.seq + 1;
      }
    }
    m_spool->Flush();
    if (now >= m_nextHeartbeat) {
      PublishStatus("online");
      m_nextHeartbeat = now + std::chrono::seconds(m_options.heartbeatSeconds);
    }
  }

  void PublishStatus(const char* state) {
    const SITE_WATCH_SUMMARY_T& s = m_watch.Summary();
    const nlohmann::json status = {
        {"site", m_options.site},
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
    m_link->Publish(SiteStatusTopic(m_options.site), Json(status), 1, true);
  }

  bool AllDelivered() const { return m_inFlight.empty() && m_spool->PendingCount() == 0; }
  void SetSubnets(std::vector<IPV4_SUBNET_T> subnets) { m_subnets = std::move(subnets); }

private:
  // Each new reason once; the link goes on trying (a certificate may be renewed, an account
  // unlocked).
  void ReportRefusal() {
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

  const AgentOptions& m_options;
  CMqttLink* m_link;
  CEventSpool* m_spool;
  CSiteWatch m_watch;
  CDocumentChanges m_documents;
  std::vector<IPV4_SUBNET_T> m_subnets;
  std::map<int, uint64_t> m_inFlight;  // message id -> event sequence number
  uint64_t m_nextToSend = 0;
  uint64_t m_connects = 0;
  bool m_wasConnected = false;
  std::string m_lastRefusal;
  std::string m_lastCertificateRefusal;
  Clock::time_point m_nextHeartbeat = Clock::time_point::max();
};

}  // namespace

int RunAgent(AgentOptions options) {
  if (const int code = ApplyConfigFile(&options); code != kExitOk) return code;
  std::string reason;
  if (options.site.empty()) options.site = "default";
  if (!IsValidSiteName(options.site, &reason)) {
    std::cerr << "ipscanner-cli: bad site name: " << reason << "\n";
    return kExitUsage;
  }
  if (options.mqtt.url.empty()) {
    std::cerr << "ipscanner-cli: agent needs --mqtt URL (or mqtt = URL in its configuration)\n";
    return kExitUsage;
  }
  MQTT_LINK_OPTIONS_T linkOptions;
  if (const int code = MakeMqttLinkOptions(options.mqtt, &linkOptions); code != kExitOk) {
    return code;
  }
  linkOptions.clientId = "ipscanner-agent-" + options.site;
  linkOptions.keepAliveSeconds = options.keepAliveSeconds;
  linkOptions.willTopic = SiteStatusTopic(options.site);
  linkOptions.willPayload = Json({{"site", options.site}, {"state", "offline"}});

  if (options.spoolPath.empty()) options.spoolPath = DefaultSpoolPath(options.site);
  CEventSpool spool(options.spoolPath, kSpoolBound);
  if (!spool.Load(&reason)) {
    std::cerr << "agent: " << reason << "; events wait in memory only\n";
  }

  CatchStopSignals();
  CCliSession session;
  if (const int opened = session.Open(options.interfaceName); opened != kExitOk) return opened;

  CMqttLink link(linkOptions);
  SecureWipe(linkOptions.password);  // the link keeps its own copy
  if (!link.Start(&reason)) {
    std::cerr << "ipscanner-cli: " << reason << "\n";
    return kExitFileError;
  }
  CSiteAgent agent(options, &link, &spool);
  agent.SetSubnets(CaptureSubnets());

  CControl* control = CControl::GetInstance();
  auto nextDiscovery = Clock::now();
  auto nextLook = nextDiscovery + kLookInterval;
  while (!StopRequested()) {
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
  session.Close();
  agent.Look();
  const auto giveUp = Clock::now() + kShutdownGrace;
  while (Clock::now() < giveUp && link.Connected() && !agent.AllDelivered()) {
    agent.Pump(Clock::now());
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (link.Connected()) {
    agent.PublishStatus("offline");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  link.Disconnect();
  spool.Flush();
  std::cerr << "agent: stopped; " << spool.PendingCount() << " events not yet delivered\n";
  return kExitOk;
}
