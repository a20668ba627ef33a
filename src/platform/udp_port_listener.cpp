#include "platform/udp_port_listener.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// -1: the table cannot be read; 0: no socket on the port; 1: one is there.
// Lines of /proc/net/udp{,6}: "  sl  local_address rem_address ...", the local address as
// HEXADDRESS:HEXPORT.
int TableHasPort(const char* table, int port) {
  std::FILE* file = std::fopen(table, "re");
  if (file == nullptr) return -1;
  char line[512];
  int found = 0;
  bool header = true;
  while (found == 0 && std::fgets(line, sizeof line, file) != nullptr) {
    if (header) {
      header = false;
      continue;
    }
    char local[128] = {};
    if (std::sscanf(line, " %*[0-9]: %127s", local) != 1) continue;
    const char* colon = std::strrchr(local, ':');
    if (colon == nullptr) continue;
    char* end = nullptr;
    const long localPort = std::strtol(colon + 1, &end, 16);
    if (end != colon + 1 && localPort == port) found = 1;
  }
  std::fclose(file);
  return found;
}

}  // namespace

bool UdpPortMayHaveListener(int port) {
  // The tables of our own network namespace through /proc/self: /proc/net is hidden where /proc
  // shows processes only (the agent's service unit, ProcSubset=pid), /proc/self/net is not.
  const int v4 = TableHasPort("/proc/self/net/udp", port);
  if (v4 != 0) return true;
  const int v6 = TableHasPort("/proc/self/net/udp6", port);
  // Without IPv6 the table is missing: the IPv4 one has answered.
  return v6 == 1;
}
