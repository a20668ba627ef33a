// The computer's addresses and adapters, and the command runner.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>

#include "platform/adapter_description.h"
#include "platform/adapters.h"
#include "platform/command_runner.h"
#include "platform/ini_profile.h"
#include "shell/global_utils.h"
#include "shell/log.h"

namespace {

constexpr size_t kCommandLineMax = 1023;  // the command line buffer holds 1024 characters
constexpr size_t kCommandOutputMax = 4096;
constexpr int kDescriptionChars = 63;
constexpr int kAdapterNameChars = 259;

}  // namespace

std::string CGlobalUtils::GetLocalIP() {
  char host[256] = {};
  if (::gethostname(host, sizeof(host) - 1) != 0) return std::string();
  struct addrinfo hints {};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  struct addrinfo* found = nullptr;
  if (::getaddrinfo(host, nullptr, &hints, &found) != 0 || found == nullptr) return std::string();
  std::string text;
  for (struct addrinfo* item = found; item != nullptr && text.empty(); item = item->ai_next) {
    if (item->ai_family != AF_INET || item->ai_addr == nullptr) continue;
    const auto* address = reinterpret_cast<const struct sockaddr_in*>(item->ai_addr);
    char buffer[INET_ADDRSTRLEN] = {};
    if (::inet_ntop(AF_INET, &address->sin_addr, buffer, sizeof(buffer)) != nullptr) text = buffer;
  }
  ::freeaddrinfo(found);
  return text;
}

std::vector<AdapterEntry> CGlobalUtils::GetAdapters() {
  std::vector<AdapterEntry> adapters;
  for (const NetInterfaceInfo& info : ListNetInterfaces()) {
    AdapterEntry entry;
    entry.szAdapterName = CutToUtf16Units(info.name, kAdapterNameChars);
    entry.szDescription = CutToUtf16Units(DescribeInterface(info.name), kDescriptionChars);
    entry.ipAddresses = info.ipv4;
    if (entry.ipAddresses.empty()) entry.ipAddresses.push_back("0.0.0.0");
    for (int i = 0; i < 6; ++i) entry.mac[i] = info.mac[i];
    adapters.push_back(std::move(entry));
  }
  return adapters;
}

int CGlobalUtils::CmdOperate(const std::string& command) {
  // A command line cut to fit would run a different command than asked: refuse it instead.
  if (command.size() > kCommandLineMax) {
    LogError("%s: command line of %zu characters is longer than %zu, not run.", "CmdOperate",
             command.size(), kCommandLineMax);
    return -1;
  }
  const std::string commandLine = "/bin/sh -c \"" + command + "\"";
  LogInfo(" Message manage   ===  %s  ", commandLine.c_str());

  std::string output;
  if (!RunCommandReadOnce(command, kCommandOutputMax, output)) {
    LogError("%s: CreateProcess %s failed.", "CmdOperate", commandLine.c_str());
    return -1;
  }
  const std::string shown = ToUtf8(ToWide(output));  // the log carries valid UTF-8 only
  LogInfo("Command Output:%s", shown.c_str());

  if (output.empty()) return 0;
  for (const char* word : {"ERROR", "error", "Error"}) {
    if (output.find(word) != std::string::npos) return -1;
  }
  return 0;
}
