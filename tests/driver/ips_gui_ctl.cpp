// ips-gui-ctl SOCKET COMMAND [ARGS...]: sends one command to the GUI test driver listening on
// the unix socket SOCKET and prints its reply. Exit 0 on "ok" (the text after "ok " goes to
// stdout), 1 on "error" (the reply goes to stderr), 2 when there is no driver to talk to
// (cannot connect, or no reply within the time limit).

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "wire_format.h"

namespace {

// A command replies at once (actions run after the reply); only a blocked UI thread takes long.
constexpr int kReplyTimeoutMs = 20000;

int Fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "ips-gui-ctl: %s: %s\n", what, detail.c_str());
  return 2;
}

bool SendAll(int fd, const std::string& data) {
  size_t sent = 0;
  while (sent < data.size()) {
    ssize_t n = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

// Reads until the driver closes the connection; false on time-out or error.
bool ReadAll(int fd, std::string* reply) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kReplyTimeoutMs);
  char buffer[4096];
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now())
                    .count();
    if (left <= 0) return false;
    pollfd pfd{fd, POLLIN, 0};
    int ready = poll(&pfd, 1, static_cast<int>(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    reply->append(buffer, static_cast<size_t>(n));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: ips-gui-ctl SOCKET COMMAND [ARGS...]\n");
    return 2;
  }
  const std::string path = argv[1];
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path.size() >= sizeof addr.sun_path) return Fail("socket path too long", path);
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);

  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return Fail("socket", std::strerror(errno));
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    int err = errno;
    close(fd);
    return Fail(("cannot connect to " + path).c_str(), std::strerror(err));
  }

  std::vector<std::string> words(argv + 2, argv + argc);
  std::string reply;
  if (!SendAll(fd, guidriver::EncodeRequest(words))) {
    close(fd);
    return Fail("send", std::strerror(errno));
  }
  bool complete = ReadAll(fd, &reply);
  close(fd);
  if (!complete) return Fail("no reply", "the program did not answer within the time limit");

  if (!reply.empty() && reply.back() == '\n') reply.pop_back();
  if (reply == "ok") return 0;
  if (reply.rfind("ok ", 0) == 0) {
    std::printf("%s\n", reply.c_str() + 3);
    return 0;
  }
  std::fprintf(stderr, "%s\n", reply.empty() ? "error empty reply" : reply.c_str());
  return 1;
}
