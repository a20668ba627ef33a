#include "transport/capture_relay.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "transport/capture_open.h"
#include "transport/interface_addresses.h"
#include "transport/mac_proto_control.h"
#include "transport/udp_frame.h"

namespace {

// The real helper, on a veth pair in a network namespace of the test's own: nothing leaves it.
// Opening a capture needs root, so the tests that do are skipped without it.
const std::string kHelper = std::string(IPS_MODULE_DIR) + "/" + kCaptureHelperName;

constexpr const char* kAppIf = "ipsr0";     // the helper's side
constexpr const char* kDeviceIf = "ipsr1";  // the devices' side, read and written raw
constexpr uint32_t kAppIp = 0x0AD50001;     // 10.213.0.1
constexpr uint32_t kAliasIp = 0x0AD50909;   // 10.213.9.9, labelled ipsr0:1
constexpr uint32_t kLaterIp = 0x0AD50505;   // 10.213.5.5, added while the helper runs
constexpr uint32_t kDeviceIp = 0x0AD50002;  // 10.213.0.2

std::string StatusField(pid_t pid, const std::string& field) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(field + ":", 0) == 0) return line.substr(field.size() + 1);
  return "";
}

std::string Trimmed(std::string text) {
  text.erase(0, text.find_first_not_of(" \t"));
  return text;
}

// Runs ip(8) from the calling thread, so in that thread's network namespace.
bool Ip(const std::string& arguments) {
  const std::string command = "ip " + arguments + " >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The devices' side of the pair: whole frames in and out, as a device's stack would see them.
class RawPort {
public:
  bool Open(const char* name) {
    fd_ = socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, htons(ETH_P_ALL));
    if (fd_ < 0) return false;
    sockaddr_ll address{};
    address.sll_family = AF_PACKET;
    address.sll_protocol = htons(ETH_P_ALL);
    address.sll_ifindex = static_cast<int>(if_nametoindex(name));
    timeval wait{0, 100 * 1000};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof(wait));
    return address.sll_ifindex > 0 &&
           bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
  }
  ~RawPort() {
    if (fd_ >= 0) close(fd_);
  }
  bool Send(const std::vector<uint8_t>& frame) {
    return send(fd_, frame.data(), frame.size(), 0) == static_cast<ssize_t>(frame.size());
  }
  // True when a frame holding the text arrives within two seconds.
  bool Receives(const std::string& text) {
    uint8_t buffer[4096];
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (std::chrono::steady_clock::now() < end) {
      const ssize_t length = recv(fd_, buffer, sizeof(buffer), 0);
      if (length <= 0) continue;
      const std::string bytes(reinterpret_cast<const char*>(buffer), static_cast<size_t>(length));
      if (bytes.find(text) != std::string::npos) return true;
    }
    return false;
  }

private:
  int fd_ = -1;
};

std::vector<uint8_t> Frame(const uint8_t fromMac[6], uint32_t fromIp, uint16_t fromPort,
                           const uint8_t toMac[6], uint32_t toIp, uint16_t toPort,
                           const std::string& text) {
  FrameEndpoint from, to;
  std::memcpy(from.mac, fromMac, 6);
  from.ip = fromIp;
  from.port = fromPort;
  std::memcpy(to.mac, toMac, 6);
  to.ip = toIp;
  to.port = toPort;
  std::vector<uint8_t> frame(kFrameHeaderBytes + text.size());
  BuildUdpFrame(from, to, 1, reinterpret_cast<const uint8_t*>(text.data()),
                static_cast<int>(text.size()), frame.data(), static_cast<int>(frame.size()));
  return frame;
}

// Runs body on a thread of its own that first enters a fresh network namespace with the veth
// pair kAppIf/kDeviceIf. A network namespace belongs to the thread and to what it starts (here
// the helper), so the rest of the test program stays where it was, and the namespace with its
// pair goes when the thread and the helper have ended. Returns why it could not, or "".
std::string RunOnPrivateSegment(const std::function<void()>& body) {
  std::string why;
  std::thread([&] {
    if (unshare(CLONE_NEWNET) != 0) {
      why = std::string("no network namespace: ") + std::strerror(errno);
      return;
    }
    const std::string app = kAppIf, device = kDeviceIf;
    if (!Ip("link add " + app + " type veth peer name " + device) ||
        !Ip("addr add 10.213.0.1/16 dev " + app) ||
        !Ip("addr add 10.213.9.9/16 dev " + app + " label " + app + ":1") ||
        !Ip("link set " + app + " up") || !Ip("link set " + device + " up")) {
      why = "cannot set up a veth pair (ip link add ... type veth)";
      return;
    }
    body();
  }).join();
  return why;
}

void RelayOnPrivateSegment() {
  uint8_t appMac[6], deviceMac[6];
  ASSERT_TRUE(ReadInterfaceMac(kAppIf, appMac) && ReadInterfaceMac(kDeviceIf, deviceMac));

  // The helper reads the adapter's addresses itself, labelled ones included.
  EXPECT_EQ(ReadInterfaceIpv4Addresses(kAppIf), (std::vector<uint32_t>{kAppIp, kAliasIp}));
  EXPECT_TRUE(ReadInterfaceIpv4Addresses("ipsr").empty()) << "a prefix of the name is not it";
  EXPECT_TRUE(ReadInterfaceIpv4Addresses(kDeviceIf).empty());

  CaptureFailure failure;
  EXPECT_EQ(CCaptureRelay::Start(kHelper, "lo", CaptureTraffic::kDeviceProtocol, &failure), nullptr)
      << "the loopback interface carries this computer's own traffic, no device's";
  EXPECT_NE(CaptureFailureText(failure).find("loopback"), std::string::npos)
      << CaptureFailureText(failure);

  std::unique_ptr<CCaptureRelay> relay =
      CCaptureRelay::Start(kHelper, kAppIf, CaptureTraffic::kDeviceProtocol, &failure);
  ASSERT_NE(relay, nullptr) << CaptureFailureText(failure);
  const pid_t helper = relay->HelperPid();
  // Once the capture is open the helper holds no capability, even started by root.
  EXPECT_EQ(Trimmed(StatusField(helper, "CapEff")), "0000000000000000");
  EXPECT_EQ(Trimmed(StatusField(helper, "CapPrm")), "0000000000000000");

  const std::string marker = "relay-test-" + std::to_string(getpid());
  std::atomic<int> answers{0}, foreign{0};
  bool endedOnRequest = false;
  std::thread reader([&] {
    endedOnRequest = relay->ReceiveLoop(
        [&](const uint8_t* frame, int captured, int) {
          const std::string bytes(reinterpret_cast<const char*>(frame), captured);
          if (bytes.find(marker + "-answer") != std::string::npos) ++answers;
          if (bytes.find(marker + "-tcp") != std::string::npos ||
              bytes.find(marker + "-other") != std::string::npos)
            ++foreign;
        },
        nullptr);
  });

  RawPort devices;
  ASSERT_TRUE(devices.Open(kDeviceIf));
  // Device to program: a device's answer is relayed; TCP to port 8500 and UDP between other
  // ports are not (the capture's filter lets neither through).
  std::vector<uint8_t> tcp =
      Frame(deviceMac, kDeviceIp, kDevicePort, appMac, kAppIp, kDevicePort, marker + "-tcp");
  tcp[kEthernetHeaderBytes + 9] = 6;
  FillFrameLengthsAndChecksums(tcp.data(), static_cast<int>(tcp.size()));
  ASSERT_TRUE(devices.Send(tcp));
  ASSERT_TRUE(
      devices.Send(Frame(deviceMac, kDeviceIp, 4000, appMac, kAppIp, 4001, marker + "-other")));
  ASSERT_TRUE(devices.Send(Frame(deviceMac, kDeviceIp, kDevicePort, appMac, kAppIp, kSendSourcePort,
                                 marker + "-answer")));
  for (int i = 0; i < 200 && answers.load() == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(answers.load(), 1) << "the device's answer comes through the capture, once";
  EXPECT_EQ(foreign.load(), 0) << "nothing but the device protocol is relayed";

  // Program to device: the program's own frame goes out; a frame from an address that is not
  // the adapter's is refused, until the adapter has that address.
  const auto own = Frame(appMac, kAppIp, kSendSourcePort, deviceMac, kDeviceIp, kDevicePort,
                         marker + "-request");
  EXPECT_EQ(relay->Inject(own.data(), static_cast<int>(own.size())), 0);
  EXPECT_TRUE(devices.Receives(marker + "-request"));
  std::vector<uint8_t> ownAsTcp = own;
  ownAsTcp[kEthernetHeaderBytes + 9] = 6;
  FillFrameLengthsAndChecksums(ownAsTcp.data(), static_cast<int>(ownAsTcp.size()));
  EXPECT_EQ(relay->Inject(ownAsTcp.data(), static_cast<int>(ownAsTcp.size())),
            CCaptureRelay::kRefused);
  const auto later = Frame(appMac, kLaterIp, kSendSourcePort, deviceMac, kDeviceIp, kDevicePort,
                           marker + "-later");
  EXPECT_EQ(relay->Inject(later.data(), static_cast<int>(later.size())), CCaptureRelay::kRefused);
  ASSERT_TRUE(Ip(std::string("addr add 10.213.5.5/16 dev ") + kAppIf));
  // The helper reads the addresses again at most once a second.
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  EXPECT_EQ(relay->Inject(later.data(), static_cast<int>(later.size())), 0)
      << "an address the adapter got while the helper ran";
  EXPECT_TRUE(devices.Receives(marker + "-later"));

  CaptureCounters counters;
  ASSERT_TRUE(relay->ReadCounters(&counters));
  EXPECT_EQ(counters.refused, 2u) << "the TCP frame and the frame from an unknown address";
  EXPECT_GE(counters.received, 1u);
  EXPECT_EQ(counters.dropped, 0u);

  // The end of the socket ends the helper by itself (a zombie until it is reaped).
  relay->Shutdown();
  reader.join();
  EXPECT_TRUE(endedOnRequest);
  std::string state;
  for (int i = 0; i < 100; ++i) {
    state = Trimmed(StatusField(helper, "State"));
    if (state.empty() || state[0] == 'Z') break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(state.empty() || state[0] == 'Z') << state;
}

TEST(CaptureRelay, RelaysTheProtocolBothWaysRefusesForeignFramesAndEndsWithItsSocket) {
  if (!CMacProtoControl::ProcessMayCapture()) GTEST_SKIP() << "opening a capture needs root";
  if (access(kHelper.c_str(), X_OK) != 0) GTEST_SKIP() << kHelper << " not built";
  const std::string why = RunOnPrivateSegment(RelayOnPrivateSegment);
  if (!why.empty()) GTEST_SKIP() << why;
}

TEST(CaptureRelay, AProgramThatCapturesItselfRefusesTheLoopbackToo) {
  if (!CMacProtoControl::ProcessMayCapture()) GTEST_SKIP() << "opening a capture needs root";
  const CaptureOpenResult opened = OpenDeviceCapture("lo", CaptureTraffic::kDeviceProtocol);
  EXPECT_EQ(opened.handle, nullptr);
  EXPECT_EQ(opened.error, CaptureOpenError::kLoopback) << opened.text;
}

TEST(CaptureRelay, AHelperThatCannotCaptureSaysWhy) {
  if (access(kHelper.c_str(), X_OK) != 0) GTEST_SKIP() << kHelper << " not built";
  CaptureFailure failure;
  EXPECT_EQ(CCaptureRelay::Start(kHelper, "ips-nosuch0", CaptureTraffic::kDeviceProtocol, &failure),
            nullptr);
  std::string error = CaptureFailureText(failure);
  EXPECT_NE(error.find("no such interface"), std::string::npos) << error;
  EXPECT_EQ(CCaptureRelay::Start("/nonexistent/ipscanner-capture", "lo",
                                 CaptureTraffic::kDeviceProtocol, &failure),
            nullptr);
  error = CaptureFailureText(failure);
  EXPECT_NE(error.find("is missing"), std::string::npos) << error;
}

}  // namespace
