#include "core/device/device_operations.h"

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <vector>

#include "core/common/op_clock.h"
#include "core/control/config_request.h"
#include "core/control/control.h"
#include "core/control/control_notify.h"
#include "core/control/control_outbound_hooks.h"
#include "core/control/device_address.h"
#include "core/device/authenticate_dispatcher.h"
#include "core/device/device_config_keys.h"
#include "core/device/request_retry.h"
#include "protocol/msg_facade.h"
#include "protocol/packet_record.h"
#include "protocol/reply_records.h"
#include "protocol/request_records.h"
#include "protocol/text_field.h"
#include "shell/global_utils.h"
#include "shell/log.h"
#include "shell/secure_wipe.h"

namespace {

// The authenticate request for the device, built into *packet and addressed; the credentials
// are wiped from the request record. false (logged) when it could not be built.
bool BuildAuthenticatePacket(const DEVICE_ENTRY_T& device, const std::string& user,
                             const std::string& password, const std::string& identifier,
                             const char* logName, PACKET_RECORD_T* packet) {
  AUTHENTICATE_REQ_T request;
  std::memset(&request, 0, sizeof(request));
  request.nUserType = 0;
  Utf8ToField(user.c_str(), request.szUser);
  Utf8ToField(password.c_str(), request.szPwd);
  Utf8ToField(identifier.c_str(), request.szUUID);

  std::memset(packet, 0, sizeof(*packet));
  const int built =
      CMsgFacade::GetInstance()->BuildRequestAuthenticate(packet, &request, device.mac);
  SecureWipe(&request, sizeof(request));
  if (built != 0) {
    SecureWipe(packet, sizeof(*packet));
    LogError("%s: BuildRequestAuthenticate failed.", logName);
    return false;
  }
  AddressToDevice(packet, device);
  return true;
}

}  // namespace

namespace device_ops {

namespace {

constexpr int kIdentifierChars = 32;

// Whether a report answers a request for the addressing: it carries the device's address. A
// device also sends shorter reports (the answer to another window's poll of its type alone).
bool CarriesAddress(const std::vector<std::string>& items) {
  const std::string prefix = std::string(device_config::kStatusIp) + "=";
  for (const std::string& item : items) {
    if (item.size() > prefix.size() && item.compare(0, prefix.size(), prefix) == 0) return true;
  }
  return false;
}

// One log line per resend, naming the device.
void LogResend(const char* logName, const char* what, const DEVICE_ENTRY_T& device, int attempt) {
  LogInfo("%s: no answer from %s (%s), %s sent again (try %d)", logName, device.mac.c_str(),
          device.ip.c_str(), what, attempt);
}

// Collects the first configuration report of one device that carries its address.
class CReportCollector : public CControlBaseNotify {
public:
  explicit CReportCollector(std::string key) : m_key(std::move(key)) {}
  void OnReportConfig(std::string deviceKey, std::string, int,
                      const std::vector<std::string>* items) override {
    if (deviceKey != m_key || items == nullptr || !CarriesAddress(*items)) return;
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_items) m_items = *items;
  }
  std::optional<std::vector<std::string>> Items() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_items;
  }

private:
  std::string m_key;
  mutable std::mutex m_lock;
  std::optional<std::vector<std::string>> m_items;
};

// The static address an update gives the device, when it is another than `current`: "" for DHCP,
// for the same address, and when the items name none.
std::string NewStaticAddress(const CONFIG_MODULE_T& items, const std::string& current) {
  std::vector<std::string> texts;
  for (const auto& item : items.szItem) {
    if (item[0] == 0) break;
    texts.push_back(FieldToUtf8(item));
  }
  const std::map<std::string, std::string> values = device_config::ParseReportItems(texts);
  for (const char* lan : {"LAN", "WLAN"}) {
    const std::string prefix = std::string("Config.Network.") + lan + ".";
    auto type = values.find(prefix + "Type");
    auto ip = values.find(prefix + "StaticIP");
    if (type != values.end() && type->second == device_config::kTypeStatic && ip != values.end() &&
        ip->second != current)
      return ip->second;
  }
  return {};
}

}  // namespace

AuthOutcome Authenticate(CAuthenticateDispatcher& waits, IOpClock& clock,
                         const DEVICE_ENTRY_T& device, const std::string& user,
                         const std::string& password, const char* logName, int* tries) {
  if (user.empty() || password.empty()) return AuthOutcome::kEmptyCredentials;
  const std::string identifier = waits.NewIdentifier(kIdentifierChars);

  PACKET_RECORD_T packet;
  if (!BuildAuthenticatePacket(device, user, password, identifier, logName, &packet))
    return AuthOutcome::kNotBuilt;
  // Open before sending: an answer the worker handles right after the send is not lost.
  waits.Open(identifier);
  bool accepted = false;
  // Sent again, same identifier, when nothing came back: authenticating twice leaves the device
  // as once does, and either answer carries the identifier we wait for.
  const bool answered = SendUntilAnswered(
      clock, {kAuthenticateWait, kDevicePace}, kAckPollStep,
      [&](int attempt) {
        if (attempt > 1) LogResend(logName, "authenticate request", device, attempt);
        SendOutbound(&packet);
      },
      [&] { return waits.Answered(identifier, &accepted); }, tries);
  SecureWipe(&packet, sizeof(packet));
  waits.Close(identifier);
  if (!answered) return AuthOutcome::kNoAnswer;
  return accepted ? AuthOutcome::kAccepted : AuthOutcome::kRefused;
}

bool SendAuthenticateOnce(const DEVICE_ENTRY_T& device, const std::string& user,
                          const std::string& password, const std::string& identifier,
                          const char* logName) {
  PACKET_RECORD_T packet;
  if (!BuildAuthenticatePacket(device, user, password, identifier, logName, &packet)) return false;
  SendOutbound(&packet);
  SecureWipe(&packet, sizeof(packet));
  return true;
}

AckTexts TextsOf(const MSG_ACK_T& ack) {
  return {FieldToUtf8(ack.szMsgID), FieldToUtf8(ack.szMsgCRC), FieldToUtf8(ack.szResult),
          FieldToUtf8(ack.szInfo)};
}

std::string IdentifierOf(const COMMON_ACK_T& answer) { return FieldToUtf8(answer.szUUID); }
std::string DescriptionOf(const COMMON_ACK_T& answer) { return FieldToUtf8(answer.szDesc); }

void RequestConfig(CControl& control, const DEVICE_ENTRY_T& device) {
  REPORT_CONFIG_T request;
  device_config::FillRequestItems(device, &request.module);
  control.SendRequestConfigMsg(&device, request.module.szItem);
}

std::optional<std::map<std::string, std::string>> ReadConfig(CControl& control, IOpClock& clock,
                                                             const DEVICE_ENTRY_T& device,
                                                             std::chrono::milliseconds limit,
                                                             int* tries) {
  CReportCollector collector(device.mac);
  control.AddNotify(&collector);
  // A configuration request changes nothing on the device: asking again is always safe.
  SendUntilAnswered(
      clock, {limit, {kConfigResendAfter, kConfigResendAfter, limit}}, kAckPollStep,
      [&](int attempt) {
        if (attempt > 1) LogResend("ReadConfig", "configuration request", device, attempt);
        RequestConfig(control, device);
      },
      [&] { return collector.Items().has_value(); }, tries);
  // RemoveNotify waits for a worker inside the notify list, so nothing calls the collector
  // once it returns.
  control.RemoveNotify(&collector);
  const std::optional<std::vector<std::string>> items = collector.Items();
  if (!items) return std::nullopt;
  return device_config::ParseReportItems(*items);
}

UpdateResult UpdateConfig(CControl& control, IOpClock& clock, const DEVICE_ENTRY_T& device,
                          const CONFIG_MODULE_T& items, const char* logName) {
  UpdateResult result;
  PACKET_RECORD_T packet;
  if (!BuildUpdateRequest(device, items.szItem, &packet, logName)) {
    result.outcome = UpdateOutcome::kNotBuilt;
    return result;
  }
  // The wait is open before the packet leaves, so an acknowledge the worker handles right after
  // the send is not lost. The check value is the header's CRC word (network order).
  const uint16_t crc = static_cast<uint16_t>(packet.data[2] << 8 | packet.data[3]);
  control.SetWaitMacAndCrc(device.mac, crc);

  MSG_ACK_T ack;
  std::memset(&ack, 0, sizeof(ack));
  // The same update again, with the same CRC, so the open wait slot takes the acknowledge of any
  // copy: a device that applies these settings twice ends as with one (they name the values,
  // not a change to them). A device that took the first one and moved to the new static address
  // before its acknowledge was lost no longer hears the old one: each resend goes to both.
  const std::string newAddress = NewStaticAddress(items, device.ip);
  PACKET_RECORD_T moved = packet;
  if (!newAddress.empty()) {
    DEVICE_ENTRY_T there = device;
    there.ip = newAddress;
    AddressToDevice(&moved, there);
  }
  const bool arrived = SendUntilAnswered(
      clock, {kAckWait, kDevicePace}, kAckPollStep,
      [&](int attempt) {
        if (attempt > 1) LogResend(logName, "update", device, attempt);
        SendOutbound(&packet);
        if (attempt > 1 && !newAddress.empty()) SendOutbound(&moved);
      },
      [&] { return control.GetWaitAck(&ack) == 0; }, &result.tries);
  if (!arrived) {
    result.outcome = UpdateOutcome::kNoAck;
    return result;
  }
  result.result = FieldToUtf8(ack.szResult);
  result.info = FieldToUtf8(ack.szInfo);
  // Exactly "OK": a device that answers "ok" or "Ok" did not confirm the change.
  result.outcome = result.result == "OK" ? UpdateOutcome::kSucceeded : UpdateOutcome::kAckNotOk;
  return result;
}

RemoteOutcome RemoteControl(IOpClock& clock, const DEVICE_ENTRY_T& device, const char* command,
                            const char* logName) {
  REMOTE_CONTROL_T request;
  std::memset(&request, 0, sizeof(request));
  Utf8ToField(kProtocolVersion, request.szProtocal);
  Utf8ToField(command, request.szType);
  PACKET_RECORD_T packet;
  std::memset(&packet, 0, sizeof(packet));
  if (CMsgFacade::GetInstance()->BuildRemoteControlMsg(&packet, &request, device.mac) != 0) {
    LogInfo("%s:BuildRemoteControlMsg error!", logName);
    return RemoteOutcome::kNotBuilt;
  }
  AddressToDevice(&packet, device);
  if (SendOutbound(&packet) != 0) {
    LogError("%s: the remote control frame could not be sent.", logName);
    return RemoteOutcome::kNotSent;
  }
  // The device acknowledges nothing we read; give the request time to leave before the caller
  // reports success.
  clock.Pause(kRemoteControlPause);
  return RemoteOutcome::kSent;
}

}  // namespace device_ops
