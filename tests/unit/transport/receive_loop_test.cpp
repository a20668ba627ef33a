#include <gtest/gtest.h>
#include <pcap/pcap.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "transport/mac_proto_control.h"
#include "transport/udp_frame.h"

namespace {

// Frames from a device at 10.213.1.7:8500, written to a capture file; the receive loop reads
// the file through the same calls as a live capture and ends at its end.
std::vector<uint8_t> DeviceFrame(const std::vector<uint8_t>& datagram) {
  FrameEndpoint from, to;
  const uint8_t deviceMac[6] = {0x02, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e};
  std::memcpy(from.mac, deviceMac, 6);
  from.ip = 0x0AD50107;
  from.port = 8500;
  to.ip = 0x0AD50001;
  to.port = 8505;
  std::vector<uint8_t> frame(42 + datagram.size());
  BuildUdpFrame(from, to, 7, datagram.data(), static_cast<int>(datagram.size()), frame.data(),
                static_cast<int>(frame.size()));
  return frame;
}

std::string WriteCapture(const std::vector<std::vector<uint8_t>>& frames) {
  const std::string path =
      ::testing::TempDir() + "receive_loop_" + std::to_string(getpid()) + ".pcap";
  pcap_t* dead = pcap_open_dead(DLT_EN10MB, 65536);
  pcap_dumper_t* dumper = pcap_dump_open(dead, path.c_str());
  EXPECT_NE(dumper, nullptr);
  for (const auto& frame : frames) {
    pcap_pkthdr header{};
    header.caplen = header.len = static_cast<bpf_u_int32>(frame.size());
    pcap_dump(reinterpret_cast<u_char*>(dumper), &header, frame.data());
  }
  pcap_dump_close(dumper);
  pcap_close(dead);
  return path;
}

TEST(ReceiveLoop, PostsOnlyWellFormedDatagramsWithTheMagic) {
  std::vector<uint8_t> answer(100, 0x11);
  answer[0] = 0xBC;
  answer[1] = 0xDE;
  std::vector<uint8_t> noMagic(100, 0x00);
  std::vector<uint8_t> tcp = DeviceFrame(answer);
  tcp[23] = 6;
  std::vector<uint8_t> padded = DeviceFrame({0xBC, 0xDE, 1, 2, 3, 4, 5, 6, 7, 8});
  padded.resize(60, 0);  // Ethernet minimum: 18 bytes behind the headers, 10 of them datagram
  std::vector<uint8_t> jumbo(kPacketDatagramBytes + 1, 0x22);
  jumbo[0] = 0xBC;
  jumbo[1] = 0xDE;

  const std::string path =
      WriteCapture({DeviceFrame(answer), DeviceFrame(noMagic), std::vector<uint8_t>(41, 0), tcp,
                    padded, DeviceFrame(jumbo)});
  char errbuf[PCAP_ERRBUF_SIZE];
  pcap_t* handle = pcap_open_offline(path.c_str(), errbuf);
  ASSERT_NE(handle, nullptr) << errbuf;

  std::vector<PACKET_RECORD_T> posted;
  CMacProtoControl* transport = CMacProtoControl::GetInstance();
  transport->SetReceiveSink([&posted](const PACKET_RECORD_T& record) { posted.push_back(record); });
  transport->MacProtoRecvThread(handle);  // returns at the end of the file
  transport->SetReceiveSink(nullptr);
  pcap_close(handle);
  std::remove(path.c_str());

  ASSERT_EQ(posted.size(), 2u);
  EXPECT_EQ(std::u16string(posted[0].szIP), u"10.213.1.7");
  EXPECT_EQ(posted[0].nPort, 8500);
  EXPECT_EQ(posted[0].mac[5], 0x5e);
  EXPECT_EQ(posted[0].nDataLen, 100);
  EXPECT_EQ(0, std::memcmp(posted[0].data, answer.data(), 100));
  EXPECT_EQ(posted[1].nDataLen, 10) << "padding is not datagram";
}

}  // namespace
