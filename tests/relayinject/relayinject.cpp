// relayinject: speaks to the capture helper as any member of the capture group could, through
// the relay the program itself uses, and asks it to inject frames named on standard input.
//
//   relayinject --helper PATH --interface IF --device-mac MAC --device-ip IP
//
// Each input line is "CASE [SOURCE-IP]"; the answer is one line "LABEL injected|refused|failed",
// where LABEL is CASE, or CASE@SOURCE-IP when the line names the frame's source address.
// "counters" answers "refused N" (the helper's count). Every frame carries the text
// "<ips-inject:LABEL>" in its datagram, so a capture on the devices' side shows which arrived.
// Exit 1 with the reason on stderr when the helper does not start.
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "transport/capture_failure.h"
#include "transport/capture_relay.h"
#include "transport/checksum.h"
#include "transport/interface_addresses.h"
#include "transport/udp_frame.h"

namespace {

constexpr uint32_t kForgedIp = 0x0A4D0032;  // 10.77.0.50

struct Context {
  FrameEndpoint adapter;  // the adapter's MAC and first address, port 8505
  FrameEndpoint device;   // port 8500
};

std::vector<uint8_t> Build(FrameEndpoint from, FrameEndpoint to, const std::string& text) {
  std::vector<uint8_t> frame(kFrameHeaderBytes + text.size());
  BuildUdpFrame(from, to, NextIpIdentification(), reinterpret_cast<const uint8_t*>(text.data()),
                static_cast<int>(text.size()), frame.data(), static_cast<int>(frame.size()));
  return frame;
}

// Header checksum made right again after a field was changed, so the field alone differs.
void FixIpChecksum(std::vector<uint8_t>& frame) {
  uint8_t* ip = frame.data() + kEthernetHeaderBytes;
  StoreBe16(ip + 10, 0);
  StoreBe16(ip + 10, ComputeChecksum(ip, (ip[0] & 0x0F) * 4));
}

using Maker = std::function<std::vector<uint8_t>(const Context&, const std::string& marker)>;

std::vector<uint8_t> Own(const Context& c, const std::string& marker) {
  return Build(c.adapter, c.device, marker);
}

std::vector<uint8_t> WithIpByte(const Context& c, const std::string& marker, int offset,
                                uint8_t value) {
  std::vector<uint8_t> frame = Own(c, marker);
  frame[kEthernetHeaderBytes + offset] = value;
  FixIpChecksum(frame);
  return frame;
}

const std::map<std::string, Maker>& Cases() {
  static const std::map<std::string, Maker> cases = {
      {"own", Own},
      {"syslog",
       [](const Context& c, const std::string& marker) {
         FrameEndpoint from = c.adapter, to = c.device;
         from.ip = kForgedIp;
         to.port = 514;
         return Build(from, to, "<13>Jan  1 00:00:00 gateway sshd: accepted " + marker);
       }},
      {"dns",
       [](const Context& c, const std::string& marker) {
         FrameEndpoint from = c.adapter, to = c.device;
         from.ip = kForgedIp;
         from.port = kDevicePort;
         to.port = 53;
         const std::string query("\x12\x34\x01\x00\x00\x01\x00\x00\x00\x00\x00\x00", 12);
         return Build(from, to, query + marker);
       }},
      {"from161",
       [](const Context& c, const std::string& marker) {
         FrameEndpoint from = c.adapter;
         from.port = 161;
         return Build(from, c.device, marker);
       }},
      {"badsum",
       [](const Context& c, const std::string& marker) {
         std::vector<uint8_t> frame = Own(c, marker);
         frame[kEthernetHeaderBytes + 11] ^= 0x01;
         return frame;
       }},
      {"ttl", [](const Context& c, const std::string& m) { return WithIpByte(c, m, 8, 128); }},
      {"tos", [](const Context& c, const std::string& m) { return WithIpByte(c, m, 1, 0x10); }},
      {"fragment",
       [](const Context& c, const std::string& m) { return WithIpByte(c, m, 6, 0x20); }},
      {"dontfragment",
       [](const Context& c, const std::string& m) { return WithIpByte(c, m, 6, 0x40); }},
      {"ihl6",
       [](const Context& c, const std::string& marker) {
         std::vector<uint8_t> frame = Own(c, marker);
         frame.insert(frame.begin() + kEthernetHeaderBytes + kIpv4HeaderBytes, 4, 0x01);
         uint8_t* ip = frame.data() + kEthernetHeaderBytes;
         ip[0] = 0x46;
         StoreBe16(ip + 2, static_cast<uint16_t>(LoadBe16(ip + 2) + 4));
         FixIpChecksum(frame);
         return frame;
       }},
      {"foreignsource",
       [](const Context& c, const std::string& marker) {
         FrameEndpoint from = c.adapter;
         from.ip = (c.adapter.ip & 0xFFFF0000u) | 0x6363;  // x.y.99.99, in the segment
         return Build(from, c.device, marker);
       }},
  };
  return cases;
}

int Usage() {
  std::cerr << "usage: relayinject --helper PATH --interface IF --device-mac MAC --device-ip IP\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::map<std::string, std::string> options;
  for (int i = 1; i + 1 < argc; i += 2) options[argv[i]] = argv[i + 1];
  if (argc != 9 || options.size() != 4) return Usage();
  Context context;
  const std::string interfaceName = options["--interface"];
  if (std::sscanf(options["--device-mac"].c_str(), "%hhx:%hhx:%hhx:%hhx:%hhx:%hhx",
                  &context.device.mac[0], &context.device.mac[1], &context.device.mac[2],
                  &context.device.mac[3], &context.device.mac[4], &context.device.mac[5]) != 6 ||
      !ParseIpv4(options["--device-ip"].c_str(), &context.device.ip))
    return Usage();
  context.device.port = kDevicePort;
  context.adapter.port = kSendSourcePort;
  if (!ReadInterfaceMac(interfaceName, context.adapter.mac)) {
    std::cerr << "relayinject: no interface " << interfaceName << "\n";
    return 1;
  }
  const std::vector<uint32_t> addresses = ReadInterfaceIpv4Addresses(interfaceName);
  if (!addresses.empty()) context.adapter.ip = addresses.front();

  CaptureFailure failure;
  std::unique_ptr<CCaptureRelay> relay = CCaptureRelay::Start(
      options["--helper"], interfaceName, CaptureTraffic::kDeviceProtocol, &failure);
  if (relay == nullptr) {
    std::cerr << "relayinject: " << CaptureFailureText(failure) << "\n";
    return 1;
  }
  // Answers to Inject come through the receive loop; the captured frames are not needed.
  std::thread receiver([&] { relay->ReceiveLoop([](const uint8_t*, int, int) {}, nullptr); });

  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream words(line);
    std::string name, source;
    words >> name >> source;
    if (name.empty()) continue;
    if (name == "counters") {
      CaptureCounters counters;
      if (relay->ReadCounters(&counters))
        std::cout << "refused " << counters.refused << std::endl;
      else
        std::cout << "counters failed" << std::endl;
      continue;
    }
    const auto found = Cases().find(name);
    Context c = context;
    if (found == Cases().end() || (!source.empty() && !ParseIpv4(source.c_str(), &c.adapter.ip))) {
      std::cout << name << " unknown" << std::endl;
      continue;
    }
    const std::string label = name + (source.empty() ? "" : "@" + source);
    const std::vector<uint8_t> frame = found->second(c, "<ips-inject:" + label + ">");
    const int result = relay->Inject(frame.data(), static_cast<int>(frame.size()));
    std::cout << label << " "
              << (result == 0                         ? "injected"
                  : result == CCaptureRelay::kRefused ? "refused"
                                                      : "failed")
              << std::endl;
  }
  relay->Shutdown();
  receiver.join();
  return 0;
}
