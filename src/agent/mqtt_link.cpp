#include "agent/mqtt_link.h"

#include <mosquitto.h>

#include <cstring>
#include <mutex>

#include "shell/secure_wipe.h"

namespace {

void InitLibraryOnce() {
  static std::once_flag once;
  std::call_once(once, [] { mosquitto_lib_init(); });
}

// libmosquitto reports a failed TLS handshake only as a log line of OpenSSL's error queue
// ("OpenSSL Error[0]: error:0A000086:SSL routines::certificate verify failed"); the connection
// itself just drops like any other. OpenSSL's reason texts are fixed English.
bool IsCertificateFailure(const char* text) {
  return std::strstr(text, "certificate verify failed") != nullptr ||
         std::strstr(text, "certificate has expired") != nullptr;
}

}  // namespace

bool LinkUsesTls(const MQTT_LINK_OPTIONS_T& options) {
  return options.url.tls || !options.caFile.empty();
}

bool PasswordTravelsInClear(const MQTT_LINK_OPTIONS_T& options) {
  return !options.password.empty() && !LinkUsesTls(options) && !IsLoopbackHost(options.url.host);
}

CMqttLink::CMqttLink(MQTT_LINK_OPTIONS_T options) : m_options(std::move(options)) {}

CMqttLink::~CMqttLink() {
  Disconnect();
  if (m_client) mosquitto_destroy(m_client);
  // The password stays in memory no longer than the link.
  SecureWipe(m_options.password);
}

void CMqttLink::AddSubscription(const std::string& pattern, int qos) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_subscriptions.emplace_back(pattern, qos);
}

bool CMqttLink::Start(std::string* error) {
  InitLibraryOnce();
  m_client =
      mosquitto_new(m_options.clientId.empty() ? nullptr : m_options.clientId.c_str(), true, this);
  if (!m_client) {
    *error = "cannot create the MQTT client";
    return false;
  }
  mosquitto_int_option(m_client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
  mosquitto_connect_callback_set(m_client, &CMqttLink::OnConnect);
  mosquitto_disconnect_callback_set(m_client, &CMqttLink::OnDisconnect);
  mosquitto_publish_callback_set(m_client, &CMqttLink::OnPublish);
  mosquitto_message_callback_set(m_client, &CMqttLink::OnMessage);
  mosquitto_log_callback_set(m_client, &CMqttLink::OnLog);
  mosquitto_reconnect_delay_set(m_client, 1, static_cast<unsigned>(m_options.maxBackoffSeconds),
                                true);
  if (!m_options.user.empty() &&
      mosquitto_username_pw_set(
          m_client, m_options.user.c_str(),
          m_options.password.empty() ? nullptr : m_options.password.c_str()) != MOSQ_ERR_SUCCESS) {
    *error = "cannot set the MQTT user name";
    return false;
  }
  if (LinkUsesTls(m_options)) {
    const int rc = m_options.caFile.empty() ? mosquitto_tls_set(m_client, nullptr, "/etc/ssl/certs",
                                                                nullptr, nullptr, nullptr)
                                            : mosquitto_tls_set(m_client, m_options.caFile.c_str(),
                                                                nullptr, nullptr, nullptr, nullptr);
    if (rc != MOSQ_ERR_SUCCESS) {
      *error = "cannot use the CA file " + m_options.caFile + ": " + mosquitto_strerror(rc);
      return false;
    }
  }
  if (!m_options.willTopic.empty() &&
      mosquitto_will_set(m_client, m_options.willTopic.c_str(),
                         static_cast<int>(m_options.willPayload.size()),
                         m_options.willPayload.data(), 1, true) != MOSQ_ERR_SUCCESS) {
    *error = "cannot set the MQTT last will";
    return false;
  }
  // An unreachable broker is not an error: the network thread keeps trying with back-off.
  mosquitto_connect_async(m_client, m_options.url.host.c_str(), m_options.url.port,
                          m_options.keepAliveSeconds);
  const int rc = mosquitto_loop_start(m_client);
  if (rc != MOSQ_ERR_SUCCESS) {
    *error = std::string("cannot start the MQTT network thread: ") + mosquitto_strerror(rc);
    return false;
  }
  m_loopRunning = true;
  return true;
}

std::string CMqttLink::LastRefusal() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_lastRefusal;
}

std::string CMqttLink::CertificateRefusal() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_certificateRefusal;
}

int CMqttLink::Publish(const std::string& topic, const std::string& payload, int qos, bool retain) {
  if (!m_client || !m_connected) return 0;
  int mid = 0;
  const int rc = mosquitto_publish(m_client, &mid, topic.c_str(), static_cast<int>(payload.size()),
                                   payload.data(), qos, retain);
  return rc == MOSQ_ERR_SUCCESS ? (mid > 0 ? mid : 1) : 0;
}

std::vector<int> CMqttLink::TakeAcknowledged() {
  std::lock_guard<std::mutex> guard(m_lock);
  std::vector<int> acked;
  acked.swap(m_acked);
  return acked;
}

void CMqttLink::Disconnect() {
  if (!m_client || !m_loopRunning) return;
  mosquitto_disconnect(m_client);
  mosquitto_loop_stop(m_client, false);
  m_loopRunning = false;
  m_connected = false;
}

void CMqttLink::OnConnect(struct mosquitto* client, void* self, int rc) {
  auto* link = static_cast<CMqttLink*>(self);
  if (rc != 0) {
    std::lock_guard<std::mutex> guard(link->m_lock);
    link->m_lastRefusal = mosquitto_connack_string(rc);
    ++link->m_refusals;
    return;
  }
  std::vector<std::pair<std::string, int>> subscriptions;
  {
    std::lock_guard<std::mutex> guard(link->m_lock);
    link->m_lastRefusal.clear();
    link->m_certificateRefusal.clear();
    subscriptions = link->m_subscriptions;
  }
  for (const auto& [pattern, qos] : subscriptions) {
    mosquitto_subscribe(client, nullptr, pattern.c_str(), qos);
  }
  link->m_connected = true;
  ++link->m_connects;
}

void CMqttLink::OnDisconnect(struct mosquitto*, void* self, int) {
  static_cast<CMqttLink*>(self)->m_connected = false;
}

void CMqttLink::OnPublish(struct mosquitto*, void* self, int mid) {
  auto* link = static_cast<CMqttLink*>(self);
  std::lock_guard<std::mutex> guard(link->m_lock);
  link->m_acked.push_back(mid);
}

void CMqttLink::OnMessage(struct mosquitto*, void* self, const struct mosquitto_message* message) {
  auto* link = static_cast<CMqttLink*>(self);
  if (!link->m_onMessage || !message->topic) return;
  const std::string payload(static_cast<const char*>(message->payload),
                            message->payload ? static_cast<size_t>(message->payloadlen) : 0);
  link->m_onMessage(message->topic, payload, message->retain);
}

void CMqttLink::OnLog(struct mosquitto*, void* self, int level, const char* text) {
  if (level != MOSQ_LOG_ERR || text == nullptr || !IsCertificateFailure(text)) return;
  auto* link = static_cast<CMqttLink*>(self);
  std::lock_guard<std::mutex> guard(link->m_lock);
  // "OpenSSL Error[0]: error:0A000086:SSL routines::certificate verify failed" -> the reason.
  const char* reason = std::strrchr(text, ':');
  link->m_certificateRefusal = reason != nullptr && reason[1] != '\0' ? reason + 1 : text;
  ++link->m_certificateRefusals;
}
