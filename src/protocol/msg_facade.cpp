#include "protocol/msg_facade.h"

#include <cstring>

#include "protocol/msg_handle.h"
#include "protocol/packet_record.h"
#include "shell/log.h"

namespace {

// The whole room behind the header: the document and, once encrypted, its envelope (up to 40
// bytes longer, plus a terminator) must both fit in the record.
constexpr int kPayloadCapacity = kPacketDatagramBytes - kMsgHeaderLength;

uint8_t* PayloadArea(PACKET_RECORD_T* packet) { return packet->data + kMsgHeaderLength; }

// Header in front of a built payload, and the record's datagram length.
int FinishDatagram(PACKET_RECORD_T* packet, int messageId, int payloadLength) {
  if (payloadLength < 0 || payloadLength > kPayloadCapacity) return -1;
  MsgHeader header;
  header.Fill(messageId, kMsgSendPayloadMode, static_cast<uint16_t>(payloadLength));
  std::memcpy(packet->data, &header, sizeof(header));
  packet->nDataLen = payloadLength + kMsgHeaderLength;
  return 0;
}

// Zeroes the record, lets buildPayload(payloadArea, capacity, &length) write the payload behind
// the header and puts the header in front of it.
template <typename BuildPayload>
int BuildDatagram(PACKET_RECORD_T* packet, const void* request, int messageId,
                  BuildPayload buildPayload) {
  if (packet == nullptr || request == nullptr) return -1;
  std::memset(packet, 0, sizeof(*packet));
  int length = 0;
  if (buildPayload(PayloadArea(packet), kPayloadCapacity, &length) != 0) return -1;
  return FinishDatagram(packet, messageId, length);
}

// The payload of a received datagram, or null (logged for operation) when its claimed length
// runs past what arrived.
const uint8_t* ReceivedPayload(const char* operation, const uint8_t* datagram, int datagramLength,
                               int payloadLength) {
  if (datagram == nullptr || payloadLength < 0 ||
      datagramLength - kMsgHeaderLength < payloadLength) {
    LogError("%s: payload length %d exceeds the %d bytes received.", operation, payloadLength,
             datagramLength);
    return nullptr;
  }
  return datagram + kMsgHeaderLength;
}

}  // namespace

CMsgFacade* CMsgFacade::GetInstance() {
  static CMsgFacade* instance = new CMsgFacade();  // lives until the process ends
  return instance;
}

int CMsgFacade::LookupEnvelopeMode(const std::string& key) {
  std::lock_guard<std::mutex> guard(lock_);
  const auto it = envelopeModes_.find(key);
  if (it != envelopeModes_.end()) return it->second;
  if (bound_.Admit(envelopeModes_.size())) {
    envelopeModes_.emplace(key, 0);
    envelopeWrites_.fetch_add(1, std::memory_order_release);
  }
  return 0;
}

bool CMsgFacade::SetEnvelopeMode(const std::string& key, int mode) {
  std::lock_guard<std::mutex> guard(lock_);
  const auto it = envelopeModes_.find(key);
  if (it != envelopeModes_.end()) {
    if (it->second == mode) return true;
    it->second = mode;
  } else if (bound_.Admit(envelopeModes_.size())) {
    envelopeModes_.emplace(key, mode);
  } else {
    return false;
  }
  envelopeWrites_.fetch_add(1, std::memory_order_release);
  return true;
}

std::map<std::string, int32_t> CMsgFacade::EnvelopeModes() const {
  std::lock_guard<std::mutex> guard(lock_);
  return std::map<std::string, int32_t>(envelopeModes_.begin(), envelopeModes_.end());
}

int CMsgFacade::EncTypeForKey(const std::string& key) {
  return LookupEnvelopeMode(key) != 0 ? kEncTypePrefixed : kEncTypeBare;
}

int CMsgFacade::BuildDiscoverMsg(PACKET_RECORD_T* packet, const DISCOVER_REQ_T* request,
                                 int encType) {
  return BuildDatagram(packet, request, MSG_DISCOVER, [&](uint8_t* out, int capacity, int* length) {
    return CMsgHandle::GetInstance()->BuildDiscoverMsg(out, capacity, request, length, encType);
  });
}

int CMsgFacade::BuildRequestConfigMsg(PACKET_RECORD_T* packet, const REPORT_CONFIG_T* request,
                                      const std::string& key) {
  return BuildDatagram(packet, request, MSG_REQUEST_CONFIG,
                       [&](uint8_t* out, int capacity, int* length) {
                         return CMsgHandle::GetInstance()->BuildRequestConfigMsg(
                             out, capacity, request, length, key, EncTypeForKey(key));
                       });
}

int CMsgFacade::BuildUpdateConfigMsg(PACKET_RECORD_T* packet, const REPORT_CONFIG_T* request,
                                     const std::string& key) {
  return BuildDatagram(packet, request, MSG_UPDATE_CONFIG,
                       [&](uint8_t* out, int capacity, int* length) {
                         return CMsgHandle::GetInstance()->BuildUpdateConfigMsg(
                             out, capacity, request, length, key, EncTypeForKey(key));
                       });
}

int CMsgFacade::BuildRemoteControlMsg(PACKET_RECORD_T* packet, const REMOTE_CONTROL_T* request,
                                      const std::string& key) {
  return BuildDatagram(packet, request, MSG_REMOTE_CONTROL,
                       [&](uint8_t* out, int capacity, int* length) {
                         return CMsgHandle::GetInstance()->BuildRemoteControlMsg(
                             out, capacity, request, length, key, EncTypeForKey(key));
                       });
}

int CMsgFacade::BuildRequestAuthenticate(PACKET_RECORD_T* packet, const AUTHENTICATE_REQ_T* request,
                                         const std::string& key) {
  return BuildDatagram(packet, request, MSG_AUTHENTICATE,
                       [&](uint8_t* out, int capacity, int* length) {
                         return CMsgHandle::GetInstance()->BuildRequestAuthenticate(
                             out, capacity, request, length, key, EncTypeForKey(key));
                       });
}

int CMsgFacade::BuildUpgradeSendMsg(PACKET_RECORD_T* packet, const UPGRADE_SEND_T* request,
                                    const std::string& key, int encType) {
  return BuildDatagram(packet, request, MSG_UPGRADE_SEND,
                       [&](uint8_t* out, int capacity, int* length) {
                         if (LookupEnvelopeMode(key) != 0) encType = kEncTypePrefixed;
                         return CMsgHandle::GetInstance()->BuildUpgradeSendMsg(
                             out, capacity, request, length, key, encType);
                       });
}

int CMsgFacade::ParseDiscoverAckMsg(const uint8_t* datagram, int datagramLength,
                                    DISCOVER_ACK_T* out, int payloadLength, int mode) {
  if (datagram == nullptr || out == nullptr) return -1;
  std::memset(out, 0, sizeof(*out));  // also when the datagram is refused below
  LogDebug("ParseDiscoverAckMsg %d", 119);
  const uint8_t* payload =
      ReceivedPayload("CMsgFacade::ParseDiscoverAckMsg", datagram, datagramLength, payloadLength);
  if (payload == nullptr) return -1;
  return CMsgHandle::GetInstance()->ParseDiscoverAckMsg(payload, out, payloadLength, mode) < 0 ? -1
                                                                                               : 0;
}

int CMsgFacade::DecodeDiscoverAck(const uint8_t* datagram, int datagramLength, int payloadLength,
                                  int mode, std::vector<uint8_t>* text) {
  if (datagram == nullptr || text == nullptr) return -1;
  text->clear();
  LogDebug("ParseDiscoverAckMsg %d", 119);
  const uint8_t* payload =
      ReceivedPayload("CMsgFacade::ParseDiscoverAckMsg", datagram, datagramLength, payloadLength);
  if (payload == nullptr) return -1;
  return CMsgHandle::GetInstance()->DecodeDiscoverAckText(payload, payloadLength, mode, text) ? 0
                                                                                              : -1;
}

int CMsgFacade::ParseDiscoverAckText(const std::vector<uint8_t>& text, DISCOVER_ACK_T* out) {
  if (out == nullptr) return -1;
  return CMsgHandle::GetInstance()->ParseDiscoverAckText(text, out) < 0 ? -1 : 0;
}

int CMsgFacade::ParseAuthenticateAck(const uint8_t* datagram, int datagramLength, COMMON_ACK_T* out,
                                     const std::string& key, int payloadLength) {
  if (datagram == nullptr || out == nullptr) return -1;
  std::memset(out, 0, sizeof(*out));  // also when the datagram is refused below
  const uint8_t* payload =
      ReceivedPayload("CMsgFacade::ParseAuthenticateAck", datagram, datagramLength, payloadLength);
  if (payload == nullptr) return -1;
  return CMsgHandle::GetInstance()->ParseAuthenticateAck(payload, out, key, payloadLength) < 0 ? -1
                                                                                               : 0;
}

int CMsgFacade::ParseAckMsg(const uint8_t* datagram, int datagramLength, MSG_ACK_T* out,
                            const std::string& key, int payloadLength, int mode) {
  if (datagram == nullptr || out == nullptr) return -1;
  std::memset(out, 0, sizeof(*out));  // also when the datagram is refused below
  const uint8_t* payload =
      ReceivedPayload("CMsgFacade::ParseAckMsg", datagram, datagramLength, payloadLength);
  if (payload == nullptr) return -1;
  return CMsgHandle::GetInstance()->ParseAckMsg(payload, out, key, payloadLength, mode) < 0 ? -1
                                                                                            : 0;
}

int CMsgFacade::ParseReportConfigMsg(const uint8_t* datagram, int datagramLength,
                                     REPORT_CONFIG_T* out, const std::string& key,
                                     int payloadLength, int mode) {
  if (datagram == nullptr || out == nullptr) return -1;
  std::memset(out, 0, sizeof(*out));  // also when the datagram is refused below
  LogDebug("ParseReportConfigMsg %d", 100);
  const uint8_t* payload =
      ReceivedPayload("CMsgFacade::ParseReportConfigMsg", datagram, datagramLength, payloadLength);
  if (payload == nullptr) return -1;
  return CMsgHandle::GetInstance()->ParseReportConfigMsg(payload, out, key, payloadLength, mode) < 0
             ? -1
             : 0;
}
