// Inbound device messages: every datagram the transport accepts reaches OnSocketMsg on the
// worker thread. It works out which device sent it, decodes it through the message facade and
// applies it to the device table, the acknowledge wait slot, the notify objects or the
// authenticate callback.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "core/common/mac_text.h"
#include "core/control/control.h"
#include "core/control/device_answer_listeners.h"
#include "protocol/msg_facade.h"
#include "protocol/msg_header.h"
#include "protocol/packet_record.h"
#include "protocol/payload_envelope.h"
#include "protocol/reply_records.h"
#include "protocol/request_records.h"
#include "protocol/text_field.h"
#include "shell/global_utils.h"
#include "shell/log.h"

namespace {

constexpr const char* kOnSocketMsg = "CControl::OnSocketMsg";

// The check value of an acknowledge: the leading decimal digits of szMsgCRC (0 when there are
// none), truncated to 16 bits, then with its two bytes swapped. Computed modulo 2^16 so a long
// digit string cannot overflow.
int AckCheckValue(const MSG_ACK_T& ack) {
  uint32_t value = 0;
  for (size_t i = 0; i < sizeof(ack.szMsgCRC) / sizeof(ack.szMsgCRC[0]); ++i) {
    const char16_t c = ack.szMsgCRC[i];
    if (c < u'0' || c > u'9') break;
    value = (value * 10 + static_cast<uint32_t>(c - u'0')) & 0xFFFF;
  }
  return static_cast<int>(((value & 0xFF) << 8) | (value >> 8));
}

}  // namespace

int CControl::OnSocketMsg(const PACKET_RECORD_T* record) {
  if (record == nullptr) return -1;

  // Only the bytes that were received count; a record claiming more than its datagram field, or
  // a header claiming more payload than arrived, is dropped whole.
  const int received = record->nDataLen;
  if (received < 0 || received > kPacketDatagramBytes) {
    LogError("%s: datagram length %d out of range, dropped.", kOnSocketMsg, received);
    return -1;
  }
  MsgHeaderInfo header;
  if (!ReadMsgHeader(record->data, received, &header)) {
    // A boot-up is acted on by its ID alone; a device that gets its length word wrong has still
    // rebooted, and the windows waiting for it must hear so.
    if (PeekMsgId(record->data, received) != MSG_DEVICE_BOOTUP) {
      LogError("%s: malformed or truncated datagram (%d bytes), dropped.", kOnSocketMsg, received);
      return -1;
    }
    header.messageId = MSG_DEVICE_BOOTUP;
  }

  // The sender's device key: the MAC of the entry whose work MAC is the frame's source address,
  // otherwise that address itself. A discovery answer names its device itself and needs none.
  std::string deviceKey;
  if (header.messageId != MSG_DISCOVER_ACK) {
    const std::string frameMac = CGlobalUtils::MacBytesToText(record->mac);
    if (!FindDeviceKeyByWorkMac(frameMac, &deviceKey)) deviceKey = frameMac;
  }

  const std::string sourceIp = FieldToUtf8(record->szIP);
  LogDebug("%s: (%s:%d)ID = 0x%X", kOnSocketMsg, sourceIp.c_str(), record->nPort, header.messageId);

  CMsgFacade* facade = CMsgFacade::GetInstance();
  switch (header.messageId) {
    case MSG_DEVICE_BOOTUP: {
      LogInfo("%s:Device BootUp OK!", kOnSocketMsg);
      ForEachNotify([&deviceKey](IControlNotify* notify) { notify->OnDeviceBootUp(deviceKey); });
      break;
    }
    case MSG_TO_DEVICE_ACK:
    case MSG_FROM_DEVICE_ACK: {
      const bool toDevice = header.messageId == MSG_TO_DEVICE_ACK;
      LogInfo(toDevice ? "%s: MSG_TO_DEVICE_ACK." : "%s: MSG_FROM_DEVICE_ACK.", kOnSocketMsg);
      MSG_ACK_T ack;
      std::memset(&ack, 0, sizeof(ack));
      // The to-device acknowledge is decrypted with the fixed identifier (empty key text).
      if (facade->ParseAckMsg(record->data, received, &ack, toDevice ? std::string() : deviceKey,
                              header.payloadLength, header.payloadMode) != 0) {
        LogError("%s: ParseAckMsg failed.", kOnSocketMsg);
        return -1;
      }
      OnAckMsg(deviceKey, AckCheckValue(ack), &ack);
      ForEachNotify([&](IControlNotify* notify) { notify->OnDeviceAck(deviceKey, ack); });
      break;
    }
    case MSG_REPORT_CONFIG: {
      REPORT_CONFIG_T report;
      std::memset(&report, 0, sizeof(report));
      if (facade->ParseReportConfigMsg(record->data, received, &report, deviceKey,
                                       header.payloadLength, header.payloadMode) != 0) {
        LogError("%s: ParseReportConfigMsg failed.", kOnSocketMsg);
        return -1;
      }
      OnReportConfigMsg(deviceKey, sourceIp.c_str(), record->nPort, &report);
      break;
    }
    case MSG_DISCOVER_ACK: {
      // The envelope kind the device answered with: its first 8 payload bytes.
      char prefix[kEnvelopeMagicLength + 1] = {};
      std::memcpy(prefix, record->data + kMsgHeaderLength,
                  static_cast<size_t>(std::min(header.payloadLength, kEnvelopeMagicLength)));
      DISCOVER_ANSWER_T answer;
      DISCOVER_NOTES_T* notes = nullptr;
      if (!m_discoverAnswers.Decode(record->mac, record->data, received, header.payloadLength,
                                    header.payloadMode, &answer, &notes)) {
        LogError("%s: ParseDiscoverAckMsg failed.", kOnSocketMsg);
        return -1;
      }
      DEVICE_ENTRY_T entry;
      entry.ip = std::move(answer.ip);
      entry.mac = answer.mac;
      entry.workMac = answer.workMac.empty() ? answer.mac : std::move(answer.workMac);
      entry.firmware = std::move(answer.firmware);
      entry.model = CGlobalUtils::DeviceModelName(answer.model, entry.firmware);
      entry.deviceId = std::move(answer.deviceId);
      // Keyed by the MAC inside the answer, not by the frame's source address. A device the full
      // table refuses leaves no trace anywhere else either. The notes of a repeated answer spare
      // the lookups that would find the entry and the envelope mode as they were.
      if (notes == nullptr || !DeviceUnchangedAt(notes->tablePosition, entry)) {
        size_t position = 0;
        if (!UpdateDevice(entry, &position)) return -1;
        if (notes != nullptr) notes->tablePosition = position;
      }
      const int envelopeMode = std::strcmp(prefix, kEnvelopeMagic) == 0 ? 1 : 0;
      if (notes == nullptr || notes->envelopeMode != envelopeMode ||
          notes->envelopeWrites != facade->EnvelopeModeWrites()) {
        const bool set = facade->SetEnvelopeMode(CompactMacText(entry.mac), envelopeMode);
        if (notes != nullptr) {
          notes->envelopeMode = set ? envelopeMode : -1;
          notes->envelopeWrites = facade->EnvelopeModeWrites();
        }
      }
      m_deviceStatus.OnAnswer(entry.mac, notes != nullptr ? &notes->status : nullptr);
      NotifyDeviceAnswer(entry);
      break;
    }
    case MSG_AUTHENTICATE_ACK: {
      COMMON_ACK_T ack;
      std::memset(&ack, 0, sizeof(ack));
      if (facade->ParseAuthenticateAck(record->data, received, &ack, deviceKey,
                                       header.payloadLength) != 0) {
        LogError("%s: ParseAuthenticateAck failed.", kOnSocketMsg);
        return -1;
      }
      InvokeAuthenticateCallback(&ack);
      break;
    }
    default:
      break;
  }
  return 0;
}

int CControl::OnAckMsg(const std::string& deviceKey, int /*checkValue*/, const MSG_ACK_T* ack) {
  if (ack == nullptr) return -1;
  // The check value is not compared with the wait CRC: the sender's CRC is always 0.
  return StoreAwaitedAck(deviceKey, ack) ? 0 : -1;
}

int CControl::OnReportConfigMsg(const std::string& deviceKey, const char* ip, int port,
                                const REPORT_CONFIG_T* report) {
  if (ip == nullptr || report == nullptr) return -1;
  std::vector<std::string> items;
  for (const auto& item : report->module.szItem) {
    std::string text = FieldToUtf8(item);
    if (!text.empty()) items.push_back(std::move(text));
  }
  const std::string ipText = ip;
  ForEachNotify(
      [&](IControlNotify* notify) { notify->OnReportConfig(deviceKey, ipText, port, &items); });
  return 0;
}
