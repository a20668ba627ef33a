// logview: shows the program's log datagrams as they arrive on the loopback interface.
//
//   logview [--port 106] [--count N] [--timeout S]
//
// Binds 127.0.0.1:<port> and prints one line per datagram:
//   HH:MM:SS.mmm LEVEL IPScanner text
// A malformed datagram gives a short note line instead. --count ends after N datagrams,
// --timeout after S seconds (exit code 0 either way).
//
// Hidden: logview --selftest-send [--port P] sends a few lines through the program's own log
// channel to 127.0.0.1:P, for the end-to-end test.
//
// The installed file carries cap_net_bind_service for its own port 106, and only for that:
// below 1024 it binds no other port (root excepted, who needs no capability for it), and it
// drops every capability as soon as the socket is bound.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/capability.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "shell/comm_control.h"
#include "shell/log.h"
#include "shell/log_record.h"

namespace {

constexpr int kOwnPort = 106;
constexpr int kFirstUnprivilegedPort = 1024;

struct Options {
  int port = kOwnPort;
  long count = -1;      // datagrams to show; -1 = no limit
  double timeout = -1;  // seconds; < 0 = no limit
  bool selftestSend = false;
};

void Usage(FILE* out) {
  std::fprintf(out, "usage: logview [--port PORT] [--count N] [--timeout SECONDS]\n");
}

bool ParseNumber(const char* text, double min, double max, double* out) {
  if (text == nullptr || *text == 0) return false;
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(text, &end);
  if (errno != 0 || *end != 0 || v < min || v > max) return false;
  *out = v;
  return true;
}

// 0 ok, 1 usage error, 2 help shown.
int ParseArgs(int argc, char** argv, Options* o) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    double v = 0;
    if (arg == "--help" || arg == "-h") {
      Usage(stdout);
      return 2;
    } else if (arg == "--selftest-send") {
      o->selftestSend = true;
    } else if (arg == "--port" && ParseNumber(value, 1, 65535, &v) && v == static_cast<int>(v)) {
      o->port = static_cast<int>(v);
      ++i;
    } else if (arg == "--count" && ParseNumber(value, 1, 1e12, &v) && v == static_cast<long>(v)) {
      o->count = static_cast<long>(v);
      ++i;
    } else if (arg == "--timeout" && ParseNumber(value, 0, 1e9, &v)) {
      o->timeout = v;
      ++i;
    } else {
      std::fprintf(stderr, "logview: bad argument '%s'\n", arg.c_str());
      Usage(stderr);
      return 1;
    }
  }
  return 0;
}

std::string Timestamp() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm tm{};
  localtime_r(&t, &tm);
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", tm.tm_hour, tm.tm_min, tm.tm_sec,
                static_cast<int>(ms));
  return text;
}

int SelftestSend(const Options& o) {
  CCommUdp& channel = CCommControl::GetInstance()->Channel();
  channel.SetPorts(CCommUdp::kFirstLocalPort, CCommUdp::kLocalPortCount, o.port);
  LogInfo("dropped: logged before the channel is open");
  CCommControl::GetInstance()->Init();
  LogDebug("Enter %s", "CControl::OnCtrlMsg");
  LogInfo("Init successs.");
  LogError("%s: ParseDiscoverAckMsg failed.", "CControl::OnSocketMsg");
  LogInfo("%s", std::string(600, 'x').c_str());
  LogInfo("selftest from local port %d", channel.LocalPort());
  return 0;
}

// The capability of the file is for port 106: with any other port below 1024 it would let anyone
// who may run logview listen where a system service should (syslog's 514, say) and read what
// is sent there. Root binds such ports without it, as before.
bool PortAllowed(int port) {
  return port >= kFirstUnprivilegedPort || port == kOwnPort || getuid() == 0;
}

// After the bind nothing needs a capability any more: all of them go, and no later exec may
// bring any back.
bool DropCapabilities() {
  cap_t none = cap_init();
  if (none == nullptr) return false;
  const bool dropped = cap_set_proc(none) == 0;
  cap_free(none);
  return dropped && prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0;
}

int View(const Options& o) {
  if (!PortAllowed(o.port)) {
    std::fprintf(stderr,
                 "logview: port %d refused: below %d logview listens only on its own port %d\n",
                 o.port, kFirstUnprivilegedPort, kOwnPort);
    return 1;
  }
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    std::fprintf(stderr, "logview: socket: %s\n", std::strerror(errno));
    return 1;
  }
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(o.port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
    std::fprintf(stderr, "logview: cannot bind 127.0.0.1:%d: %s\n", o.port, std::strerror(errno));
    ::close(fd);
    return 1;
  }
  if (!DropCapabilities()) {
    std::fprintf(stderr, "logview: cannot drop its capabilities: %s\n", std::strerror(errno));
    ::close(fd);
    return 1;
  }
  std::fprintf(stderr, "logview: listening on 127.0.0.1:%d\n", o.port);

  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline =
      Clock::now() + std::chrono::milliseconds(static_cast<long long>(o.timeout * 1000));
  long shown = 0;
  uint8_t buffer[65536];
  while (o.count < 0 || shown < o.count) {
    int waitMs = -1;
    if (o.timeout >= 0) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) break;
      waitMs = static_cast<int>(left > 1000000 ? 1000000 : left);
    }
    pollfd pfd{fd, POLLIN, 0};
    const int ready = ::poll(&pfd, 1, waitMs);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) continue;
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n < 0) continue;
    LOG_RECORD_T record;
    std::string error;
    if (DecodeLogDatagram(buffer, static_cast<size_t>(n), &record, &error)) {
      std::printf("%s\n", FormatLogLine(record, Timestamp()).c_str());
    } else {
      std::printf("%s malformed datagram (%zd bytes): %s\n", Timestamp().c_str(), n, error.c_str());
    }
    std::fflush(stdout);
    ++shown;
  }
  ::close(fd);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  const int parsed = ParseArgs(argc, argv, &o);
  if (parsed == 2) return 0;
  if (parsed != 0) return 1;
  return o.selftestSend ? SelftestSend(o) : View(o);
}
