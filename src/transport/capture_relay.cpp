#include "transport/capture_relay.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "transport/capture_relay_wire.h"

namespace {

constexpr auto kStartTimeout = std::chrono::seconds(5);
constexpr auto kAnswerTimeout = std::chrono::seconds(2);
constexpr const char* kCaptureGroupName = "ipscanner";

// The group that may run the helper: the file's own group, as the package sets it.
std::string HelperGroup(const std::string& helperPath) {
  struct stat info {};
  if (stat(helperPath.c_str(), &info) == 0 && info.st_gid != 0) {
    std::vector<char> buffer(4096);
    group entry{};
    group* found = nullptr;
    if (getgrgid_r(info.st_gid, &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr)
      return found->gr_name;
  }
  return kCaptureGroupName;
}

CaptureFailure SpawnFailure(int error, const std::string& helperPath) {
  CaptureFailure failure;
  failure.helper = helperPath;
  if (error == EACCES || error == EPERM) {
    failure.kind = CaptureFailureKind::kHelperNeedsGroup;
    failure.group = HelperGroup(helperPath);
  } else if (error == ENOENT) {
    failure.kind = CaptureFailureKind::kHelperMissing;
  } else {
    failure.kind = CaptureFailureKind::kHelperNotStarted;
    failure.detail = std::strerror(error);
  }
  return failure;
}

// The helper's own refusal: its open error and its words.
CaptureFailure HelperRefusal(CaptureOpenError error, const std::string& reason,
                             const std::string& helperPath) {
  CaptureFailure failure;
  failure.helper = helperPath;
  if (error == CaptureOpenError::kNoRights) {
    failure.kind = CaptureFailureKind::kHelperNoRights;
  } else {
    failure.kind = CaptureFailureKind::kOpenRefused;
    failure.openError = error;
    failure.detail = reason;
  }
  return failure;
}

bool SendAll(int fd, RelayType type, uint32_t value, const uint8_t* body, int length) {
  uint8_t message[kRelayMaxMessageBytes];
  if (length < 0 || length > kRelayMaxMessageBytes - static_cast<int>(sizeof(RelayHeader)))
    return false;
  RelayHeader header;
  header.type = static_cast<uint8_t>(type);
  header.value = value;
  std::memcpy(message, &header, sizeof(header));
  if (length > 0) std::memcpy(message + sizeof(header), body, static_cast<size_t>(length));
  const size_t total = sizeof(header) + static_cast<size_t>(length);
  return send(fd, message, total, MSG_NOSIGNAL) == static_cast<ssize_t>(total);
}

void Reap(pid_t pid) {
  // The helper ends at the end of the socket; a helper that does not is ended after a second.
  for (int i = 0; i < 100; ++i) {
    const pid_t done = waitpid(pid, nullptr, WNOHANG);
    if (done == pid || (done < 0 && errno == ECHILD)) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

}  // namespace

std::unique_ptr<CCaptureRelay> CCaptureRelay::Start(const std::string& helperPath,
                                                    const std::string& interfaceName,
                                                    CaptureTraffic traffic,
                                                    CaptureFailure* failure) {
  auto fail = [failure, &interfaceName, &helperPath](CaptureFailure why) {
    why.adapter = interfaceName;
    why.helper = helperPath;
    if (failure != nullptr) *failure = std::move(why);
    return nullptr;
  };
  int pair[2];
  if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) {
    CaptureFailure socketFailure;
    socketFailure.kind = CaptureFailureKind::kHelperSocket;
    socketFailure.detail = std::strerror(errno);
    return fail(socketFailure);
  }
  // dup2 onto the same number would keep close-on-exec set: move the helper's end out of the way.
  if (pair[1] == kRelayHelperFd) {
    const int moved = fcntl(pair[1], F_DUPFD_CLOEXEC, kRelayHelperFd + 1);
    close(pair[1]);
    pair[1] = moved;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pair[1], kRelayHelperFd);
  std::vector<std::string> args = {helperPath, interfaceName};
  if (traffic == CaptureTraffic::kDeviceProtocolAndArp) args.push_back("arp");
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  char* noEnvironment[] = {nullptr};  // the helper trusts no variable, so it is given none
  pid_t pid = -1;
  const int spawned =
      posix_spawn(&pid, helperPath.c_str(), &actions, nullptr, argv.data(), noEnvironment);
  posix_spawn_file_actions_destroy(&actions);
  close(pair[1]);
  if (spawned != 0) {
    close(pair[0]);
    return fail(SpawnFailure(spawned, helperPath));
  }

  // The first message says whether the capture is open.
  std::unique_ptr<CCaptureRelay> relay(new CCaptureRelay(pair[0], pid));
  // A signal to the program while it waits (SIGTERM during start-up) interrupts poll and recv
  // whatever SA_RESTART says: wait on for the rest of the time instead of calling it a failure.
  const auto giveUp = std::chrono::steady_clock::now() + kStartTimeout;
  int ready = -1;
  while (true) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        giveUp - std::chrono::steady_clock::now());
    pollfd wait{pair[0], POLLIN, 0};
    ready = poll(&wait, 1, static_cast<int>(std::max<int64_t>(0, left.count())));
    if (ready >= 0 || errno != EINTR) break;
  }
  uint8_t message[kRelayMaxMessageBytes];
  ssize_t length = -1;
  if (ready > 0) {
    do {
      length = recv(pair[0], message, sizeof(message), 0);
    } while (length < 0 && errno == EINTR);
  }
  RelayHeader header;
  if (length >= static_cast<ssize_t>(sizeof(header))) std::memcpy(&header, message, sizeof(header));
  if (length >= static_cast<ssize_t>(sizeof(header)) &&
      header.type == static_cast<uint8_t>(RelayType::kReady))
    return relay;
  if (length >= static_cast<ssize_t>(sizeof(header)) &&
      header.type == static_cast<uint8_t>(RelayType::kFailed)) {
    const std::string reason(reinterpret_cast<const char*>(message) + sizeof(header),
                             static_cast<size_t>(length) - sizeof(header));
    return fail(HelperRefusal(static_cast<CaptureOpenError>(header.value), reason, helperPath));
  }
  CaptureFailure silent;
  silent.kind = ready == 0 ? CaptureFailureKind::kHelperTimeout : CaptureFailureKind::kHelperEnded;
  return fail(silent);
}

CCaptureRelay::~CCaptureRelay() {
  Shutdown();
  close(fd_);
  Reap(pid_);
}

void CCaptureRelay::Shutdown() {
  shutDown_ = true;
  shutdown(fd_, SHUT_RDWR);
}

bool CCaptureRelay::ReceiveLoop(const FrameHandler& onFrame, const CountersHandler& onCounters) {
  std::vector<uint8_t> message(kRelayMaxMessageBytes);
  while (true) {
    const ssize_t length = recv(fd_, message.data(), message.size(), 0);
    if (length < 0 && errno == EINTR) continue;
    if (length <= 0) break;
    if (length < static_cast<ssize_t>(sizeof(RelayHeader))) continue;
    RelayHeader header;
    std::memcpy(&header, message.data(), sizeof(header));
    const uint8_t* body = message.data() + sizeof(header);
    const int bodyLength = static_cast<int>(length - sizeof(header));
    const auto type = static_cast<RelayType>(header.type);
    if (type == RelayType::kFrame) {
      onFrame(body, bodyLength, static_cast<int>(header.value));
    } else if (type == RelayType::kCounters && header.value == 0) {
      if (bodyLength == sizeof(RelayCounters) && onCounters) {
        RelayCounters wire;
        std::memcpy(&wire, body, sizeof(wire));
        onCounters(
            {wire.received, wire.dropped, wire.interfaceDropped, wire.truncated, wire.refused});
      }
    } else if (type == RelayType::kCounters || type == RelayType::kInjectResult) {
      std::lock_guard<std::mutex> lock(answerMutex_);
      answerSequence_ = header.value;
      answer_.assign(reinterpret_cast<const char*>(body), static_cast<size_t>(bodyLength));
      answered_.notify_all();
    }
  }
  {
    std::lock_guard<std::mutex> lock(answerMutex_);
    helperGone_ = true;
  }
  answered_.notify_all();
  return shutDown_.load();
}

bool CCaptureRelay::Ask(uint8_t type, const uint8_t* body, int length, std::string* answer) {
  std::lock_guard<std::mutex> ask(askMutex_);
  uint32_t sequence = nextSequence_++;
  if (sequence == 0) sequence = nextSequence_++;  // 0 marks counters sent unasked
  if (!SendAll(fd_, static_cast<RelayType>(type), sequence, body, length)) return false;
  std::unique_lock<std::mutex> lock(answerMutex_);
  const bool got = answered_.wait_for(lock, kAnswerTimeout,
                                      [&] { return answerSequence_ == sequence || helperGone_; });
  if (!got || answerSequence_ != sequence) return false;
  *answer = answer_;
  return true;
}

int CCaptureRelay::Inject(const uint8_t* frame, int length) {
  std::string answer;
  if (!Ask(static_cast<uint8_t>(RelayType::kInject), frame, length, &answer)) return -1;
  RelayInjectResult result = RelayInjectResult::kSendFailed;
  if (answer.size() == sizeof(result)) std::memcpy(&result, answer.data(), sizeof(result));
  if (result == RelayInjectResult::kRefused) return kRefused;
  return result == RelayInjectResult::kInjected ? 0 : -1;
}

bool CCaptureRelay::ReadCounters(CaptureCounters* counters) {
  std::string answer;
  if (!Ask(static_cast<uint8_t>(RelayType::kCountersRequest), nullptr, 0, &answer) ||
      answer.size() != sizeof(RelayCounters))
    return false;
  RelayCounters wire;
  std::memcpy(&wire, answer.data(), sizeof(wire));
  *counters = {wire.received, wire.dropped, wire.interfaceDropped, wire.truncated, wire.refused};
  return true;
}
