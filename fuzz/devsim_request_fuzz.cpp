// The device simulator's request handling. Input byte 0 chooses the shape: with bit 7 set the
// rest is a whole captured frame; otherwise bits 0-1 choose the destination (group address,
// device 0, device 1), bytes 1-2 are the header's ID word and the rest is the payload, which
// the harness wraps in a correct header and frame so that the documents are reached.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "protocol/msg_header.h"
#include "sim_engine.h"
#include "sim_fleet.h"
#include "sim_http.h"
#include "transport/frame_headers.h"
#include "transport/udp_frame.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3 || size > 8192) return 0;
  SimOptions options;
  options.count = 2;
  options.staticShare = 0.5;
  static const std::vector<SimDevice> fleet = MakeFleet(options);
  SimEngine engine(options, fleet);
  std::vector<SimOutFrame> out;
  std::vector<SimUpgradeJob> jobs;

  const uint8_t* rest = data + 3;
  const int restLength = static_cast<int>(size - 3);
  if (data[0] & 0x80) {
    std::vector<uint8_t> frame(data + 1, data + size);
    engine.OnFrame(frame.data(), static_cast<int>(frame.size()), 0, &out, &jobs);
  } else {
    std::vector<uint8_t> datagram(kMsgHeaderLength + restLength);
    MsgHeader header;
    header.Fill(0, 0, static_cast<uint16_t>(restLength));
    header.idWord[0] = data[1];
    header.idWord[1] = data[2];
    std::memcpy(datagram.data(), &header, sizeof(header));
    if (restLength > 0) std::memcpy(datagram.data() + kMsgHeaderLength, rest, restLength);

    FrameEndpoint from;
    const uint8_t programMac[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x09};
    std::memcpy(from.mac, programMac, 6);
    ParseIpv4("10.213.0.1", &from.ip);
    from.port = kSendSourcePort;
    FrameEndpoint to;
    to.port = kDevicePort;
    const int which = data[0] & 3;
    if (which == 1 || which == 2) {
      const SimDevice& d = fleet[which - 1];
      std::memcpy(to.mac, d.workMac, 6);
      ParseIpv4(d.network.ip.c_str(), &to.ip);
    } else {
      const uint8_t group[6] = {0x01, 0x00, 0x5E, 0x08, 0x08, 0x01};
      std::memcpy(to.mac, group, 6);
      ParseIpv4("238.8.8.1", &to.ip);
    }
    std::vector<uint8_t> frame(kFrameHeaderBytes + datagram.size());
    const int length =
        BuildUdpFrame(from, to, 1, datagram.data(), static_cast<int>(datagram.size()), frame.data(),
                      static_cast<int>(frame.size()));
    if (length > 0) {
      engine.OnFrame(frame.data(), length, 0, &out, &jobs);
      // A second request after the first took effect (new addresses, credentials, reboot).
      engine.OnFrame(frame.data(), length, 100000, &out, &jobs);
    }
  }
  for (const SimUpgradeJob& job : jobs) {
    SimUrl url;
    ParseHttpUrl(job.url, &url);
    engine.OnUpgradeResult(job, true, 0, &out);
  }
  const std::string text(reinterpret_cast<const char*>(rest), restLength);
  SimUrl url;
  if (ParseHttpUrl(text, &url)) IsAllowedDownloadHost(url.host);
  ParseModelList(text);
  return 0;
}
