#include "protocol/msg_header.h"

#include <cstring>

void MsgHeader::Fill(int messageId, int mode, uint16_t payloadBytes) {
  const uint16_t word = static_cast<uint16_t>((messageId & 0x7FF) | (mode & 7) << 11);
  magic[0] = kMsgMagic0;
  magic[1] = kMsgMagic1;
  crc[0] = 0;
  crc[1] = 0;
  idWord[0] = static_cast<uint8_t>(word & 0xFF);
  idWord[1] = static_cast<uint8_t>(word >> 8);
  headerLength[0] = 0;
  headerLength[1] = kMsgHeaderLength;
  payloadLength[0] = static_cast<uint8_t>(payloadBytes >> 8);
  payloadLength[1] = static_cast<uint8_t>(payloadBytes & 0xFF);
}

bool ReadMsgHeader(const uint8_t* datagram, int receivedLength, MsgHeaderInfo* out) {
  if (datagram == nullptr || out == nullptr || receivedLength < kMsgHeaderLength) return false;
  MsgHeader header;
  std::memcpy(&header, datagram, sizeof(header));
  if (!header.HasMagic()) return false;
  // A device that claims more payload than arrived is refused rather than trusted: the bytes
  // behind what was received are not its datagram.
  if (header.PayloadLength() > receivedLength - kMsgHeaderLength) return false;
  out->messageId = header.MessageId();
  out->payloadMode = header.PayloadMode();
  out->payloadLength = header.PayloadLength();
  out->crc = header.Crc();
  return true;
}

int PeekMsgId(const uint8_t* datagram, int receivedLength) {
  if (datagram == nullptr || receivedLength < kMsgHeaderLength) return -1;
  MsgHeader header;
  std::memcpy(&header, datagram, sizeof(header));
  return header.HasMagic() ? header.MessageId() : -1;
}
