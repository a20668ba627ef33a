#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "agent/mqtt_url.h"

struct mosquitto;

struct MQTT_LINK_OPTIONS_T {
  MQTT_URL_T url;
  std::string caFile;  // TLS: trust this CA (the system's trust store when empty)
  std::string user;
  std::string password;
  std::string clientId;
  std::string willTopic;  // "" for no will
  std::string willPayload;
  int keepAliveSeconds = 30;
  int maxBackoffSeconds = 30;  // reconnect after 1 s, doubling up to this
};

// TLS is on for mqtts:// and whenever a CA file is given.
bool LinkUsesTls(const MQTT_LINK_OPTIONS_T& options);
// Whether a password would cross a network unencrypted: one is set, the link is plain mqtt://
// and the broker is not on this computer's loopback.
bool PasswordTravelsInClear(const MQTT_LINK_OPTIONS_T& options);

// One connection to an MQTT broker through libmosquitto's own network thread. It connects in
// the background and reconnects with back-off whenever the connection drops; the caller looks
// at Connected() and ConnectCount() and republishes what it must after a reconnect. Callbacks
// of the network thread only fill fields under the lock.
class CMqttLink {
public:
  using MessageHandler =
      std::function<void(const std::string& topic, const std::string& payload, bool retained)>;

  explicit CMqttLink(MQTT_LINK_OPTIONS_T options);
  ~CMqttLink();
  CMqttLink(const CMqttLink&) = delete;
  CMqttLink& operator=(const CMqttLink&) = delete;

  // Before Start: called on the network thread for every message of a subscription.
  void SetMessageHandler(MessageHandler handler) { m_onMessage = std::move(handler); }
  // Topics subscribed at every (re)connect.
  void AddSubscription(const std::string& pattern, int qos);

  // Sets up TLS, credentials and the will, and starts connecting. False with a reason when the
  // client cannot be set up (a CA file that cannot be read, no memory); a broker that cannot be
  // reached is no error here: the link keeps trying.
  bool Start(std::string* error);

  bool Connected() const { return m_connected.load(); }
  // Successful connections so far; a change means a (re)connect happened.
  uint64_t ConnectCount() const { return m_connects.load(); }
  // The broker's reason for the last refused connection ("" when none): "not authorised", ...
  std::string LastRefusal() const;
  bool EverRefused() const { return m_refusals.load() > 0; }
  // The TLS handshake failed because the broker's certificate did not pass the check (not
  // signed by the CA, expired, another host name): the reason, "" when it never happened. Such
  // a broker is reachable; it is not the one the link was told to trust.
  std::string CertificateRefusal() const;
  bool EverRefusedCertificate() const { return m_certificateRefusals.load() > 0; }

  // The message id (> 0), or 0 when not connected or the client refused it.
  int Publish(const std::string& topic, const std::string& payload, int qos, bool retain);
  // Message ids of QoS 1 publications the broker acknowledged since the last call.
  std::vector<int> TakeAcknowledged();
  // Sends DISCONNECT (so no will is published) and stops the network thread.
  void Disconnect();

private:
  static void OnConnect(struct mosquitto*, void* self, int rc);
  static void OnDisconnect(struct mosquitto*, void* self, int rc);
  static void OnPublish(struct mosquitto*, void* self, int mid);
  static void OnMessage(struct mosquitto*, void* self, const struct mosquitto_message* message);
  static void OnLog(struct mosquitto*, void* self, int level, const char* text);

  MQTT_LINK_OPTIONS_T m_options;
  struct mosquitto* m_client = nullptr;
  bool m_loopRunning = false;
  std::atomic<bool> m_connected{false};
  std::atomic<uint64_t> m_connects{0};
  std::atomic<uint64_t> m_refusals{0};
  std::atomic<uint64_t> m_certificateRefusals{0};
  mutable std::mutex m_lock;
  std::vector<int> m_acked;
  std::string m_lastRefusal;
  std::string m_certificateRefusal;
  std::vector<std::pair<std::string, int>> m_subscriptions;
  MessageHandler m_onMessage;
};
