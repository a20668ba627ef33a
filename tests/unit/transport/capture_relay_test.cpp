#include "transport/capture_relay.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "transport/mac_proto_control.h"
#include "transport/udp_frame.h"

namespace {

// The real helper on the loopback interface (whose MAC is all zeros): nothing leaves the machine.
// Opening a capture needs root, so the test is skipped without it.
const std::string kHelper = std::string(IPS_MODULE_DIR) + "/" + kCaptureHelperName;

std::vector<uint8_t> LoopbackDatagram(uint16_t sourcePort, const std::string& text) {
  FrameEndpoint from, to;
  from.ip = to.ip = 0x7F000001;
  from.port = sourcePort;
  to.port = 8500;
  std::vector<uint8_t> frame(kFrameHeaderBytes + text.size());
  BuildUdpFrame(from, to, 1, reinterpret_cast<const uint8_t*>(text.data()),
                static_cast<int>(text.size()), frame.data(), static_cast<int>(frame.size()));
  return frame;
}

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

TEST(CaptureRelay, RelaysBothWaysRefusesForeignFramesAndEndsWithItsSocket) {
  if (!CMacProtoControl::ProcessMayCapture()) GTEST_SKIP() << "opening a capture needs root";
  if (access(kHelper.c_str(), X_OK) != 0) GTEST_SKIP() << kHelper << " not built";

  CaptureFailure failure;
  std::unique_ptr<CCaptureRelay> relay =
      CCaptureRelay::Start(kHelper, "lo", CaptureTraffic::kDeviceProtocol, &failure);
  ASSERT_NE(relay, nullptr) << CaptureFailureText(failure);
  const pid_t helper = relay->HelperPid();
  // Once the capture is open the helper holds no capability, even started by root.
  EXPECT_EQ(Trimmed(StatusField(helper, "CapEff")), "0000000000000000");
  EXPECT_EQ(Trimmed(StatusField(helper, "CapPrm")), "0000000000000000");

  const std::string marker = "relay-test-" + std::to_string(getpid());
  std::atomic<int> seen{0};
  bool endedOnRequest = false;
  std::thread reader([&] {
    endedOnRequest = relay->ReceiveLoop(
        [&](const uint8_t* frame, int captured, int) {
          const std::string bytes(reinterpret_cast<const char*>(frame), captured);
          if (bytes.find(marker) != std::string::npos) ++seen;
        },
        nullptr);
  });

  const std::vector<uint8_t> ours = LoopbackDatagram(kSendSourcePort, marker);
  EXPECT_EQ(relay->Inject(ours.data(), static_cast<int>(ours.size())), 0);
  std::vector<uint8_t> tcp = LoopbackDatagram(kSendSourcePort, marker + "-tcp");
  tcp[23] = 6;
  EXPECT_EQ(relay->Inject(tcp.data(), static_cast<int>(tcp.size())), CCaptureRelay::kRefused);

  for (int i = 0; i < 200 && seen.load() == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(seen.load(), 1) << "the injected frame comes back through the capture, once";
  CaptureCounters counters;
  ASSERT_TRUE(relay->ReadCounters(&counters));
  EXPECT_EQ(counters.refused, 1u);
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
