#include "sim_junk.h"

#include "protocol/msg_header.h"
#include "transport/udp_frame.h"

std::vector<uint8_t> SimJunkSource::NextFrame() {
  static constexpr int kIds[] = {MSG_FROM_DEVICE_ACK, MSG_REPORT_CONFIG, MSG_AUTHENTICATE_ACK};
  const int messageId = kIds[random_() % 3];
  // 4 to 40 blocks: as long as real answers, and a valid ciphertext length for every key.
  const int payload = static_cast<int>(4 + random_() % 37) * 16;
  std::vector<uint8_t> datagram(kMsgHeaderLength + payload);
  MsgHeader header;
  header.Fill(messageId, 2, static_cast<uint16_t>(payload));
  std::copy(reinterpret_cast<const uint8_t*>(&header),
            reinterpret_cast<const uint8_t*>(&header) + sizeof(header), datagram.begin());
  for (int i = 0; i < payload; ++i) datagram[kMsgHeaderLength + i] = random_() & 0xFF;

  FrameEndpoint from;
  const uint32_t r = random_();
  const uint8_t sourceMac[6] = {0x0A,
                                0x00,
                                static_cast<uint8_t>(r >> 24),
                                static_cast<uint8_t>(r >> 16),
                                static_cast<uint8_t>(r >> 8),
                                static_cast<uint8_t>(r)};
  std::copy(sourceMac, sourceMac + 6, from.mac);
  from.ip = 0x0AD50000u | (r & 0xFFFF);  // somewhere in 10.213.0.0/16
  from.port = kDevicePort;
  FrameEndpoint to;
  std::fill(to.mac, to.mac + 6, 0xFF);
  to.ip = 0xFFFFFFFFu;
  to.port = kDevicePort;
  std::vector<uint8_t> frame(kFrameHeaderBytes + datagram.size());
  const int length =
      BuildUdpFrame(from, to, identification_++, datagram.data(), static_cast<int>(datagram.size()),
                    frame.data(), static_cast<int>(frame.size()));
  if (length < 0) return {};
  frame.resize(static_cast<size_t>(length));
  return frame;
}
