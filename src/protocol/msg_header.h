#pragma once

#include <cstdint>

// The 10-byte header in front of every device datagram. Byte order is mixed on the wire: the ID
// word is little-endian, the CRC and both length words are big-endian. The fields are kept as
// raw bytes so the struct has no padding and no alignment needs; accessors do the conversions.
constexpr uint8_t kMsgMagic0 = 0xBC;
constexpr uint8_t kMsgMagic1 = 0xDE;
constexpr int kMsgHeaderLength = 10;
// Payload mode that this tool writes on every datagram it sends (ID word | 0x1000).
constexpr int kMsgSendPayloadMode = 2;

// Message IDs (bits 0 to 10 of the ID word).
constexpr int MSG_UPDATE_CONFIG = 0x004;
constexpr int MSG_REMOTE_CONTROL = 0x00A;
constexpr int MSG_TO_DEVICE_ACK = 0x00B;
constexpr int MSG_UPGRADE_SEND = 0x011;
constexpr int MSG_REQUEST_CONFIG = 0x013;
constexpr int MSG_AUTHENTICATE = 0x097;
constexpr int MSG_FROM_DEVICE_ACK = 0x101;
constexpr int MSG_REPORT_CONFIG = 0x103;
constexpr int MSG_DEVICE_BOOTUP = 0x104;
constexpr int MSG_DISCOVER = 0x120;
constexpr int MSG_DISCOVER_ACK = 0x121;
constexpr int MSG_AUTHENTICATE_ACK = 0x19C;

struct __attribute__((packed)) MsgHeader {
  uint8_t magic[2];          // 0xBC 0xDE
  uint8_t crc[2];            // big-endian; written as 0, ignored on receipt
  uint8_t idWord[2];         // little-endian: bits 0-10 message ID, 11-13 payload mode
  uint8_t headerLength[2];   // big-endian; always 10, ignored on receipt
  uint8_t payloadLength[2];  // big-endian; payload bytes behind the header

  bool HasMagic() const { return magic[0] == kMsgMagic0 && magic[1] == kMsgMagic1; }
  uint16_t Crc() const { return static_cast<uint16_t>(crc[0] << 8 | crc[1]); }
  uint16_t IdWord() const { return static_cast<uint16_t>(idWord[1] << 8 | idWord[0]); }
  int MessageId() const { return IdWord() & 0x7FF; }
  int PayloadMode() const { return (IdWord() >> 11) & 7; }
  uint16_t HeaderLength() const {
    return static_cast<uint16_t>(headerLength[0] << 8 | headerLength[1]);
  }
  uint16_t PayloadLength() const {
    return static_cast<uint16_t>(payloadLength[0] << 8 | payloadLength[1]);
  }

  // Writes magic, CRC 0, ID word (messageId | mode << 11), header length 10 and the payload length.
  void Fill(int messageId, int mode, uint16_t payloadBytes);
};
static_assert(sizeof(MsgHeader) == 10, "the device header is 10 bytes");

// What the receive side takes from a header.
struct MsgHeaderInfo {
  int messageId = 0;
  int payloadMode = 0;
  int payloadLength = 0;  // never more than the bytes received behind the header
  uint16_t crc = 0;
};

// Reads the header of a received datagram of receivedLength bytes. False when the datagram is
// null, shorter than the header, lacks the magic, or claims a payload longer than what arrived
// behind the header: such a datagram is refused whole rather than parsed from bytes that were
// never received (the header-length word is ignored; the payload always starts at offset 10).
bool ReadMsgHeader(const uint8_t* datagram, int receivedLength, MsgHeaderInfo* out);

// The message ID of a datagram that has a whole header with the magic, whatever its length
// words say; -1 otherwise. For messages whose payload is never read (the boot-up).
int PeekMsgId(const uint8_t* datagram, int receivedLength);
