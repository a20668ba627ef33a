// devsim: simulates a fleet of intercom devices on one interface of a virtual segment. Each
// device answers from its own MAC and IPv4 address with raw frames injected through libpcap.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pcap/pcap.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <queue>
#include <string>
#include <thread>
#include <vector>

#include "shell/global_utils.h"
#include "sim_engine.h"
#include "sim_fleet.h"
#include "sim_http.h"
#include "sim_junk.h"
#include "sim_loss.h"
#include "sim_mac_text.h"
#include "sim_netns.h"
#include "sim_overrides.h"

namespace {

std::atomic<bool> g_stop{false};
pcap_t* g_handle = nullptr;

void OnSignal(int) {
  g_stop = true;
  if (g_handle != nullptr) pcap_breakloop(g_handle);
}

int64_t NowMs() {
  static const auto start = std::chrono::steady_clock::now();
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start)
      .count();
}

bool WriteFileAtomic(const std::string& path, const std::string& text) {
  const std::string tmp = path + ".tmp";
  {
    std::ofstream out(tmp, std::ios::trunc);
    if (!out) return false;
    out << text;
    if (!out) return false;
  }
  return std::rename(tmp.c_str(), path.c_str()) == 0;
}

// Frames waiting for their time, sent in due order at a bounded rate so that thousands of
// answers to one discovery are not lost in the receiver's capture buffer.
class SendQueue {
public:
  SendQueue(pcap_t* handle, int pps, SimLoss loss)
      : handle_(handle), pps_(pps > 0 ? pps : 1), loss_(loss) {}

  void Push(std::vector<SimOutFrame>& frames) {
    if (frames.empty()) return;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      for (SimOutFrame& f : frames) queue_.push(Entry{f.dueMs, seq_++, std::move(f.bytes)});
    }
    frames.clear();
    cv_.notify_one();
  }

  void Run() {
    const auto interval = std::chrono::nanoseconds(1000000000LL / pps_);
    auto next = std::chrono::steady_clock::now();
    std::unique_lock<std::mutex> lock(mutex_);
    while (!g_stop) {
      if (queue_.empty()) {
        cv_.wait_for(lock, std::chrono::milliseconds(50));
        continue;
      }
      const int64_t wait = queue_.top().dueMs - NowMs();
      if (wait > 0) {
        cv_.wait_for(lock, std::chrono::milliseconds(wait));
        continue;
      }
      Entry entry = queue_.top();
      queue_.pop();
      lock.unlock();
      const auto now = std::chrono::steady_clock::now();
      if (next > now) std::this_thread::sleep_until(next);
      next = std::max(next, now - interval * 32) + interval;  // allow short bursts only
      // --loss: the frame leaves the device but never reaches the wire.
      if (loss_.Drop()) {
        lock.lock();
        continue;
      }
      if (pcap_sendpacket(handle_, entry.bytes.data(), static_cast<int>(entry.bytes.size())) != 0)
        ++failed_;
      else
        ++sent_;
      lock.lock();
    }
  }

  uint64_t Sent() const { return sent_; }
  uint64_t Failed() const { return failed_; }
  uint64_t Lost() const { return loss_.Dropped(); }  // after Run has returned

private:
  struct Entry {
    int64_t dueMs;
    uint64_t seq;
    std::vector<uint8_t> bytes;
    bool operator>(const Entry& other) const {
      return dueMs != other.dueMs ? dueMs > other.dueMs : seq > other.seq;
    }
  };
  pcap_t* handle_;
  int pps_;
  SimLoss loss_;  // used by the sending thread only
  std::mutex mutex_;
  std::condition_variable cv_;
  std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> queue_;
  uint64_t seq_ = 0;
  std::atomic<uint64_t> sent_{0};
  std::atomic<uint64_t> failed_{0};
};

// Rewrites the state file off the capture thread, so a burst of changes (a thousand devices
// turned static at once) does not stall the capture while the fleet is written out again and
// again. Answers that report a change are held until a write containing that change is on
// disk: whoever gets such an answer reads the new state.
class StateWriter {
public:
  StateWriter(std::string path, std::mutex& engineMutex, const SimEngine& engine, SendQueue& queue)
      : path_(std::move(path)), engineMutex_(engineMutex), engine_(engine), queue_(queue) {}

  // Called with the engine lock held, after a change: the frames wait for the next write.
  void Changed(std::vector<SimOutFrame>& frames) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (SimOutFrame& f : frames) held_.push_back(std::move(f));
    frames.clear();
    dirty_ = true;
    cv_.notify_one();
  }

  void Run() {
    while (true) {
      std::vector<SimDevice> fleet;
      std::vector<SimOutFrame> frames;
      {
        std::unique_lock<std::mutex> wait(mutex_);
        cv_.wait_for(wait, std::chrono::milliseconds(50), [this] { return dirty_; });
        if (!dirty_) {
          if (g_stop) return;
          continue;
        }
      }
      {
        // Same lock order as the capture loop: engine, then this writer.
        std::lock_guard<std::mutex> engineLock(engineMutex_);
        std::lock_guard<std::mutex> lock(mutex_);
        fleet = engine_.Devices();
        frames.swap(held_);
        dirty_ = false;
      }
      WriteFileAtomic(path_, FleetJson(fleet) + "\n");
      queue_.Push(frames);
    }
  }

private:
  std::string path_;
  std::mutex& engineMutex_;
  const SimEngine& engine_;
  SendQueue& queue_;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<SimOutFrame> held_;
  bool dirty_ = false;
};

// A plain UDP socket on the device side: proves that injected frames pass the kernel's own
// IPv4 and UDP checks. Prints one JSON line per datagram.
int ProbeReceive(int port, int count, int timeoutMs, const std::string& readyFile) {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 2;
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
    std::perror("devsim: bind");
    return 2;
  }
  if (!readyFile.empty()) WriteFileAtomic(readyFile, "ready\n");
  int received = 0;
  const int64_t deadline = NowMs() + timeoutMs;
  while (received < count && !g_stop) {
    const int64_t left = deadline - NowMs();
    if (left <= 0) break;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left)) != 1) continue;
    uint8_t buffer[65536];
    sockaddr_in from{};
    socklen_t fromLen = sizeof(from);
    const ssize_t n =
        recvfrom(fd, buffer, sizeof(buffer), 0, reinterpret_cast<sockaddr*>(&from), &fromLen);
    if (n < 0) continue;
    char ip[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &from.sin_addr, ip, sizeof(ip));
    std::string hex;
    char byte[3];
    for (ssize_t i = 0; i < n; ++i) {
      std::snprintf(byte, sizeof(byte), "%02x", buffer[i]);
      hex += byte;
    }
    std::printf("{\"from\":\"%s\",\"port\":%d,\"length\":%zd,\"hex\":\"%s\"}\n", ip,
                ntohs(from.sin_port), n, hex.c_str());
    std::fflush(stdout);
    ++received;
  }
  close(fd);
  return received >= count ? 0 : 1;
}

// --junk-pps: a flood of undecodable answers on its own capture handle, paced to the given
// rate until the simulator stops. Returns the number of frames injected.
uint64_t RunJunkFlood(const std::string& interfaceName, int pps, uint32_t seed) {
  char errbuf[PCAP_ERRBUF_SIZE] = {};
  pcap_t* handle = pcap_open_live(interfaceName.c_str(), 128, 0, 10, errbuf);
  if (handle == nullptr) {
    std::fprintf(stderr, "devsim: junk flood: %s\n", errbuf);
    return 0;
  }
  SimJunkSource source(seed);
  const auto interval = std::chrono::nanoseconds(1000000000LL / pps);
  auto next = std::chrono::steady_clock::now();
  uint64_t sent = 0;
  while (!g_stop) {
    std::this_thread::sleep_until(next);
    next += interval;
    const std::vector<uint8_t> frame = source.NextFrame();
    if (pcap_sendpacket(handle, frame.data(), static_cast<int>(frame.size())) == 0) ++sent;
  }
  pcap_close(handle);
  return sent;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"devsim: simulated intercom devices on one interface of a virtual segment"};
  SimOptions options;
  std::string interfaceName, baseIp = "10.213.1.100", baseMac = "02:1A:2B:00:00:01";
  std::string envelope = "mixed", models, modelsFile, dumpFleet, fleetFile, stateFile, readyFile;
  int pps = 20000;
  int junkPps = 0;
  bool verbose = false, probeRecv = false;
  int probePort = 8500, probeCount = 1, probeTimeoutMs = 5000;

  app.add_option("--interface", interfaceName,
                 "interface to capture and inject on (inside a segment)");
  app.add_option("--count", options.count, "number of devices")
      ->check(CLI::Range(1, 100000))
      ->capture_default_str();
  app.add_option("--base-ip", baseIp, "IPv4 address of the first device")->capture_default_str();
  app.add_option("--base-mac", baseMac, "MAC of the first device; the others count up")
      ->capture_default_str();
  app.add_option("--envelope", envelope, "answer envelope: bare, prefixed or mixed")
      ->check(CLI::IsMember({"bare", "prefixed", "mixed"}))
      ->capture_default_str();
  app.add_option("--workmac-differ-share", options.workMacDifferShare,
                 "share of devices whose work MAC differs")
      ->check(CLI::Range(0.0, 1.0))
      ->capture_default_str();
  app.add_option("--empty-model-share", options.emptyModelShare,
                 "share of devices that send an empty Model")
      ->check(CLI::Range(0.0, 1.0))
      ->capture_default_str();
  app.add_option("--static-share", options.staticShare,
                 "share of devices that start with a static address")
      ->check(CLI::Range(0.0, 1.0))
      ->capture_default_str();
  std::string macForms = "mixed";
  app.add_option("--mac-forms", macForms,
                 "MAC texts: mixed (upper/lower, with or without colons) or upper")
      ->check(CLI::IsMember({"mixed", "upper"}))
      ->capture_default_str();
  app.add_option(
      "--models", models,
      "models as \"prefix=Name,prefix=Name\" (default: config/ModelName.ini next to devsim)");
  app.add_option("--models-file", modelsFile, "model catalog file ([ModelName] prefix=Name lines)");
  app.add_option("--user", options.user, "web user of every device")->capture_default_str();
  app.add_option("--password", options.password, "web password of every device")
      ->capture_default_str();
  app.add_option("--delay-ms", options.delayMs, "delay before every answer")
      ->check(CLI::Range(0, 600000))
      ->capture_default_str();
  app.add_option("--late-ms", options.lateMs, "extra delay of the late devices")
      ->check(CLI::Range(0, 600000))
      ->capture_default_str();
  app.add_option("--late-share", options.lateShare,
                 "share of late devices (0.1 when only --late-ms is given)")
      ->check(CLI::Range(0.0, 1.0));
  app.add_option("--drop-share", options.dropShare, "share of devices whose answers are lost")
      ->check(CLI::Range(0.0, 1.0));
  app.add_option("--corrupt-share", options.corruptShare,
                 "share of devices whose answers are garbled")
      ->check(CLI::Range(0.0, 1.0));
  app.add_option("--truncate-share", options.truncateShare,
                 "share of devices whose answers are cut short")
      ->check(CLI::Range(0.0, 1.0));
  app.add_option("--reboot-ms", options.rebootMs, "time a reboot takes before the boot-up message")
      ->check(CLI::Range(0, 600000))
      ->capture_default_str();
  app.add_option("--mute-config", options.muteConfigCount,
                 "number of devices, spread over the fleet, that ignore configuration requests")
      ->check(CLI::Range(0, 100000));
  app.add_option("--update-result", options.updateResult,
                 "answer every configuration update with this Result and apply nothing");
  app.add_flag("--ignore-updates", options.ignoreUpdates,
               "leave every configuration update unanswered and unapplied");
  app.add_option("--keep-firmware", options.keepFirmware,
                 "indexes of devices that reboot after an upgrade but keep their old firmware")
      ->delimiter(',');
  app.add_option("--refuse-download", options.refuseDownload,
                 "indexes of devices that refuse an upgrade (no download, acknowledge \"Failed\")")
      ->delimiter(',');
  app.add_option("--pps", pps, "frames per second the simulator injects at most")
      ->check(CLI::Range(1, 1000000))
      ->capture_default_str();
  app.add_option("--junk-pps", junkPps,
                 "also inject this many undecodable answers a second (load tests)")
      ->check(CLI::Range(0, 1000000))
      ->capture_default_str();
  app.add_option("--seed", options.seed, "seed of the fleet's random choices")
      ->capture_default_str();
  app.add_flag("--verbose", verbose, "log every request on standard error");
  app.add_option("--dump-fleet", dumpFleet, "print the fleet (json) and exit")
      ->check(CLI::IsMember({"json"}));
  app.add_option("--fleet-file", fleetFile, "write the fleet (json) to this file at start");
  app.add_option("--state-file", stateFile,
                 "rewrite the fleet (json) to this file after every state change");
  app.add_option("--ready-file", readyFile, "create this file once the simulator listens");
  app.add_flag("--probe-recv", probeRecv,
               "no simulation: print datagrams a plain UDP socket receives (JSON lines)");
  app.add_option("--probe-port", probePort, "UDP port of --probe-recv")->capture_default_str();
  app.add_option("--probe-count", probeCount, "datagrams --probe-recv waits for")
      ->capture_default_str();
  app.add_option("--probe-timeout-ms", probeTimeoutMs, "time --probe-recv waits")
      ->capture_default_str();
  std::string lossText;
  int lossBurst = 1;
  CLI::Option* lossOption =
      app.add_option("--loss", lossText,
                     "P[,SEED]: lose a share P of the frames received and, independently, of the "
                     "frames sent, the same frames for the same SEED (default: --seed)");
  app.add_option("--loss-burst", lossBurst,
                 "with --loss: each loss takes this many frames in a row (bursts start less "
                 "often, so the share stays P)")
      ->check(CLI::Range(1, 1000))
      ->needs(lossOption)
      ->capture_default_str();
  SimOverrides overrides;
  app.add_option("--device-ip", overrides.deviceIps,
                 "INDEX=IPV4: the device uses this address (repeatable; duplicates allowed)");
  app.add_option("--device-room", overrides.deviceRooms,
                 "INDEX=ROOM: the device reports this room number (repeatable)");
  app.add_option("--device-firmware", overrides.deviceFirmware,
                 "INDEX=VERSION: the device runs this firmware (repeatable)");
  app.add_option("--silent", overrides.silent,
                 "FIRST[-LAST]@FROM_MS+FOR_MS: these devices answer nothing from FROM_MS after "
                 "the start for FOR_MS (repeatable)");
  app.add_option("--lose-updates", overrides.loseUpdates,
                 "INDEX=N: the first N updates to this device are lost on the way (repeatable)");
  app.add_option("--lose-discover-answers", overrides.loseDiscoverAnswers,
                 "INDEX=N: this device's first N discovery answers are lost (repeatable)");
  CLI11_PARSE(app, argc, argv);
  NowMs();  // the origin of --silent times: now

  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  if (probeRecv) return ProbeReceive(probePort, probeCount, probeTimeoutMs, readyFile);

  uint32_t ip = 0;
  if (!ParseIpv4(baseIp.c_str(), &ip)) {
    std::fprintf(stderr, "devsim: --base-ip %s is not an IPv4 address\n", baseIp.c_str());
    return 2;
  }
  options.baseIp = ip;
  if (!ParseMacText(baseMac, options.baseMac)) {
    std::fprintf(stderr, "devsim: --base-mac %s is not a MAC address\n", baseMac.c_str());
    return 2;
  }
  double lossShare = 0.0;
  uint32_t lossSeed = options.seed;
  if (!lossText.empty()) {
    std::string lossError;
    if (!ParseLossOption(lossText, options.seed, &lossShare, &lossSeed, &lossError)) {
      std::fprintf(stderr, "devsim: %s\n", lossError.c_str());
      return 2;
    }
  }
  options.mixedMacForms = macForms == "mixed";
  options.envelope = envelope == "bare"       ? SimEnvelope::kBare
                     : envelope == "prefixed" ? SimEnvelope::kPrefixed
                                              : SimEnvelope::kMixed;
  if (options.lateMs > 0 && app.count("--late-share") == 0) options.lateShare = 0.1;
  if (!models.empty()) {
    options.models = ParseModelList(models);
  } else {
    options.models = ReadModelCatalog(
        modelsFile.empty() ? CGlobalUtils::MakeModulePath("config/ModelName.ini") : modelsFile);
    if (options.models.empty() && !modelsFile.empty()) {
      std::fprintf(stderr, "devsim: no models in %s\n", modelsFile.c_str());
      return 2;
    }
  }

  std::vector<SimDevice> fleet = MakeFleet(options);
  std::string overrideError;
  if (!ApplyOverrides(overrides, fleet, &overrideError)) {
    std::fprintf(stderr, "devsim: %s\n", overrideError.c_str());
    return 2;
  }
  SimEngine engine(options, std::move(fleet));
  if (!dumpFleet.empty()) {
    std::printf("%s\n", FleetJson(engine.Devices()).c_str());
    return 0;
  }
  if (interfaceName.empty()) {
    std::fprintf(stderr, "devsim: --interface is required (see --help)\n");
    return 2;
  }
  if (!InSeparateNetns()) {
    std::fprintf(stderr,
                 "devsim: refusing to send device traffic in the machine's own network namespace; "
                 "run it on a virtual segment (scripts/segment.sh)\n");
    return 2;
  }
  if (!fleetFile.empty() && !WriteFileAtomic(fleetFile, FleetJson(engine.Devices()) + "\n")) {
    std::fprintf(stderr, "devsim: cannot write %s\n", fleetFile.c_str());
    return 2;
  }

  char errbuf[PCAP_ERRBUF_SIZE] = {};
  pcap_t* handle = pcap_create(interfaceName.c_str(), errbuf);
  if (handle == nullptr) {
    std::fprintf(stderr, "devsim: %s\n", errbuf);
    return 3;
  }
  // With immediate delivery every ring slot is a whole snapshot long: frames on the segment
  // never exceed the MTU, and short slots let a burst of thousands of requests fit.
  pcap_set_snaplen(handle, 2048);
  pcap_set_promisc(handle, 1);
  pcap_set_timeout(handle, 10);
  pcap_set_immediate_mode(handle, 1);
  pcap_set_buffer_size(handle, 16 << 20);
  bpf_program program{};
  if (pcap_activate(handle) < 0 || pcap_datalink(handle) != DLT_EN10MB ||
      pcap_compile(handle, &program, "udp dst port 8500", 1, PCAP_NETMASK_UNKNOWN) != 0 ||
      pcap_setfilter(handle, &program) != 0) {
    std::fprintf(stderr, "devsim: cannot capture on %s: %s\n", interfaceName.c_str(),
                 pcap_geterr(handle));
    return 3;
  }
  pcap_freecode(&program);
  pcap_setdirection(handle, PCAP_D_IN);
  g_handle = handle;

  std::mutex engineMutex;
  if (verbose)
    engine.log = [](const std::string& line) {
      std::fprintf(stderr, "devsim %8.3f %s\n", NowMs() / 1000.0, line.c_str());
    };
  SendQueue queue(handle, pps, SimLoss(lossShare, SendLossSeed(lossSeed), lossBurst));
  SimLoss receiveLoss(lossShare, lossSeed, lossBurst);
  std::thread sender([&queue] { queue.Run(); });
  std::atomic<uint64_t> junkSent{0};
  std::thread junk;
  if (junkPps > 0) {
    junk = std::thread([&] { junkSent = RunJunkFlood(interfaceName, junkPps, options.seed); });
  }
  std::atomic<int> downloads{0};

  if (!stateFile.empty()) WriteFileAtomic(stateFile, FleetJson(engine.Devices()) + "\n");
  StateWriter stateWriter(stateFile, engineMutex, engine, queue);
  std::thread stateThread;
  if (!stateFile.empty()) stateThread = std::thread([&stateWriter] { stateWriter.Run(); });
  if (!readyFile.empty()) WriteFileAtomic(readyFile, "ready\n");
  std::fprintf(stderr, "devsim: %d devices on %s\n", options.count, interfaceName.c_str());

  std::vector<SimOutFrame> out;
  std::vector<SimUpgradeJob> jobs;
  while (!g_stop) {
    pcap_pkthdr* header = nullptr;
    const u_char* frame = nullptr;
    const int result = pcap_next_ex(handle, &header, &frame);
    if (result == 0) continue;
    if (result < 0) {
      if (result != PCAP_ERROR_BREAK)
        std::fprintf(stderr, "devsim: capture ended: %s\n", pcap_geterr(handle));
      break;
    }
    if (receiveLoss.Drop()) continue;  // --loss: never reached the devices
    {
      std::lock_guard<std::mutex> lock(engineMutex);
      engine.OnFrame(frame, static_cast<int>(header->caplen), NowMs(), &out, &jobs);
      if (!stateFile.empty() && engine.TakeStateChanged()) stateWriter.Changed(out);
    }
    queue.Push(out);
    for (const SimUpgradeJob& job : jobs) {
      ++downloads;
      std::thread([&, job] {
        size_t bytes = 0;
        std::string error;
        const bool ok = HttpDownload(job.url, 5000, &bytes, &error);
        if (verbose || !ok)
          std::fprintf(stderr, "devsim: download %s: %s\n", job.url.c_str(),
                       ok ? (std::to_string(bytes) + " bytes").c_str() : error.c_str());
        std::vector<SimOutFrame> frames;
        {
          std::lock_guard<std::mutex> lock(engineMutex);
          engine.OnUpgradeResult(job, ok, NowMs(), &frames);
          if (!stateFile.empty() && engine.TakeStateChanged()) stateWriter.Changed(frames);
        }
        queue.Push(frames);
        --downloads;
      }).detach();
    }
    jobs.clear();
  }

  g_stop = true;
  if (stateThread.joinable()) stateThread.join();
  sender.join();
  if (junk.joinable()) {
    junk.join();
    std::fprintf(stderr, "devsim: junk frames injected %llu\n",
                 static_cast<unsigned long long>(junkSent.load()));
  }
  for (int i = 0; i < 100 && downloads > 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
  const SimStats& stats = engine.Stats();
  std::fprintf(
      stderr,
      "devsim: frames seen %llu, discovers %llu, requests %llu, undecodable %llu, answers %llu, "
      "faulted %llu, injected %llu, injection failures %llu, lost received %llu, lost sent "
      "%llu\n",
      static_cast<unsigned long long>(stats.framesSeen),
      static_cast<unsigned long long>(stats.discovers),
      static_cast<unsigned long long>(stats.requests),
      static_cast<unsigned long long>(stats.undecodable),
      static_cast<unsigned long long>(stats.answers),
      static_cast<unsigned long long>(stats.faulted), static_cast<unsigned long long>(queue.Sent()),
      static_cast<unsigned long long>(queue.Failed()),
      static_cast<unsigned long long>(receiveLoss.Dropped()),
      static_cast<unsigned long long>(queue.Lost()));
  std::fflush(stderr);
  // Downloads still running hold references to this frame: leave without unwinding.
  _exit(0);
}
