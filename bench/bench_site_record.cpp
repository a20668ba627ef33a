// What recording a site costs a run with 65,000 devices, measured in one run with and without
// the recorder. A run here is a simulated 3 minutes of the program: 36 discovery rounds 5 s
// apart, each answered by every device, every answer going through the worker thread's real path
// (OnSocketMsg: decrypt, parse, table, status, notify objects). Half way a thousand devices
// come back with new firmware. With recording, the recorder filters each answer on this thread
// (the worker's) and writes its queue once a simulated second on a thread of its own (first sight
// of every device, the changes, and the last-seen times once the minute is over); this thread
// waits meanwhile, and the process CPU time holds both.
//
// Each run goes in a child process of its own (same starting heap). Last, the recorder's own part
// of the answer path is timed alone: the same answers handed straight to it.
//
//   bench_site_record [devices] [rounds] [passes]
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/control/control.h"
#include "protocol/msg_header.h"
#include "protocol/packet_record.h"
#include "protocol/payload_envelope.h"
#include "record/site_database.h"
#include "record/site_recorder.h"

namespace {

// One device's answer, encrypted once: the datagram bytes only (a whole record is 4 KB).
struct Answer {
  std::vector<uint8_t> datagram;
  uint8_t frameMac[6];
};

Answer MakeAnswer(int i, const char* firmware) {
  char mac[13];
  std::snprintf(mac, sizeof(mac), "02%010X", i);
  char ip[20];
  std::snprintf(ip, sizeof(ip), "10.%d.%d.%d", 200 + i / 65536, (i / 256) % 256, i % 256);
  char room[16];
  std::snprintf(room, sizeof(room), "%d-%04d", 1 + i / 1000, i % 1000);
  const std::string xml = std::string("<Msg><Type>DiscoverAck</Type><Protocal>2.0</Protocal>") +
                          "<Params><Type>DoorStation</Type><DeviceID>" + room + "</DeviceID><IP>" +
                          ip + "</IP><FW>" + firmware + "</FW><DeviceName>Door</DeviceName>" +
                          "<Flag>5</Flag><MAC>" + mac + "</MAC><WorkMAC>" + mac +
                          "</WorkMAC><Model>DS-210 Door Station</Model></Params></Msg>";
  std::vector<uint8_t> text(xml.begin(), xml.end());
  text.resize(text.size() + 32, 0);
  Answer answer;
  answer.datagram.resize(kPacketDatagramBytes);
  int length = static_cast<int>(xml.size());
  EncryptPayload(text.data(), answer.datagram.data() + kMsgHeaderLength,
                 kPacketDatagramBytes - kMsgHeaderLength, kDiscoverKeyText, &length, true);
  reinterpret_cast<MsgHeader*>(answer.datagram.data())
      ->Fill(MSG_DISCOVER_ACK, 2, static_cast<uint16_t>(length));
  answer.datagram.resize(static_cast<size_t>(kMsgHeaderLength + length));
  answer.frameMac[0] = 0x02;
  answer.frameMac[1] = 0;
  for (int b = 0; b < 4; ++b) answer.frameMac[2 + b] = static_cast<uint8_t>(i >> (8 * (3 - b)));
  return answer;
}

double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

struct Result {
  double cpu = 0;
  double writing = 0;  // of cpu: the recorder's flushes
  uint64_t transactions = 0;
  double databaseMb = 0;
  int64_t devices = 0, changes = 0;  // rows recorded
};

Result Run(const std::vector<Answer>& answers, const std::vector<Answer>& upgraded, int rounds,
           const std::string& dbPath) {
  CControl control;  // threads not started: this thread is the worker
  int64_t now = 1'700'000'000'000;
  std::unique_ptr<CSiteRecorder> recorder;
  if (!dbPath.empty()) {
    std::string notice;
    recorder = std::make_unique<CSiteRecorder>(CSiteDatabase::OpenForWriting(dbPath, &notice),
                                               "bench", [&now] { return now; });
    if (!recorder->Recording()) {
      std::fprintf(stderr, "bench_site_record: %s\n", notice.c_str());
      std::exit(1);
    }
    control.AddNotify(recorder.get());
    AddDeviceAnswerListener(recorder.get());
  }
  PACKET_RECORD_T record;
  std::memset(&record, 0, sizeof(record));
  std::memcpy(record.szIP, u"10.200.0.1", sizeof(u"10.200.0.1"));
  record.nPort = 8500;
  Result result;
  // The writes run on a thread of their own as the recorder's writer thread runs them (so the
  // database's memory comes from another heap arena than the answers'), at simulated seconds,
  // while this thread waits: the process CPU time holds both.
  auto flush = [&] {
    const double before = ProcessCpuSeconds();
    std::thread writer([&] { recorder->Flush(); });
    writer.join();
    result.writing += ProcessCpuSeconds() - before;
  };
  const double start = ProcessCpuSeconds();
  for (int round = 0; round < rounds; ++round) {
    control.DeviceStatus().BeginRound();
    for (size_t i = 0; i < answers.size(); ++i) {
      const Answer& a = round >= rounds / 2 && i < upgraded.size() ? upgraded[i] : answers[i];
      std::memcpy(record.data, a.datagram.data(), a.datagram.size());
      record.nDataLen = static_cast<int>(a.datagram.size());
      std::memcpy(record.mac, a.frameMac, 6);
      control.OnSocketMsg(&record);
      if (i % (answers.size() / 5 + 1) == 0 && recorder) {
        // The answers of a round come in over about a second; the writer runs once a second.
        now += 200;
        flush();
      }
    }
    for (int second = 0; second < 4 && recorder; ++second) {
      now += 1000;
      flush();
    }
    if (!recorder) now += 5000;
  }
  if (recorder) {
    RemoveDeviceAnswerListener(recorder.get());
    control.RemoveNotify(recorder.get());
    recorder->Stop();
    result.transactions = recorder->Transactions();
  }
  result.cpu = ProcessCpuSeconds() - start;
  if (!dbPath.empty()) {
    struct stat st {};
    if (stat(dbPath.c_str(), &st) == 0) result.databaseMb = static_cast<double>(st.st_size) / 1e6;
    std::string error;
    if (auto db = CSiteDatabase::OpenForReading(dbPath, &error)) {
      result.devices = db->execAndGet("SELECT count(*) FROM devices").getInt64();
      result.changes = db->execAndGet("SELECT count(*) FROM changes").getInt64();
    }
  }
  return result;
}

// Runs `run` in a forked child and hands its result back through a pipe; the child's CPU time is
// its own (CLOCK_PROCESS_CPUTIME_ID counts from the fork).
template <typename F>
Result InChild(const F& run) {
  int fds[2];
  if (pipe(fds) != 0) std::exit(1);
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    const Result result = run();
    const ssize_t written = write(fds[1], &result, sizeof(result));
    _exit(written == static_cast<ssize_t>(sizeof(result)) ? 0 : 1);
  }
  close(fds[1]);
  Result result;
  const ssize_t got = read(fds[0], &result, sizeof(result));
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (got != static_cast<ssize_t>(sizeof(result)) || !WIFEXITED(status) ||
      WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "bench_site_record: a run failed\n");
    std::exit(1);
  }
  return result;
}

// The recorder's share of the answer path alone: the answers as the core hands them to it
// (listener call, filter, queue), one round every 5 simulated seconds, the queue written after
// each round but not counted. Returns CPU seconds for all answers.
double HookOnly(int devices, int rounds, const std::string& dbPath) {
  int64_t now = 1'700'000'000'000;
  std::string notice;
  CSiteRecorder recorder(CSiteDatabase::OpenForWriting(dbPath, &notice), "bench",
                         [&now] { return now; });
  std::vector<DEVICE_ENTRY_T> entries;
  for (int i = 0; i < devices; ++i) {
    char mac[18], ip[20], room[16];
    const unsigned n = static_cast<unsigned>(i);
    std::snprintf(mac, sizeof(mac), "02:00:%02X:%02X:%02X:%02X", (n >> 24) & 0xFF, (n >> 16) & 0xFF,
                  (n >> 8) & 0xFF, n & 0xFF);
    std::snprintf(ip, sizeof(ip), "10.%d.%d.%d", 200 + i / 65536, (i / 256) % 256, i % 256);
    std::snprintf(room, sizeof(room), "%d-%04d", 1 + i / 1000, i % 1000);
    entries.push_back({ip, mac, mac, "DS-210 Door Station", room, "12.30.1.1"});
  }
  double hook = 0;
  for (int round = 0; round < rounds; ++round) {
    const double start = ProcessCpuSeconds();
    for (const DEVICE_ENTRY_T& d : entries) recorder.OnDeviceAnswer(d);
    hook += ProcessCpuSeconds() - start;
    now += 5000;
    std::thread writer([&] { recorder.Flush(); });
    writer.join();
  }
  return hook;
}

}  // namespace

int main(int argc, char** argv) {
  const int devices = argc > 1 ? std::atoi(argv[1]) : 65000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 36;
  const int passes = argc > 3 ? std::atoi(argv[3]) : 1;
  std::vector<Answer> answers, upgraded;
  answers.reserve(static_cast<size_t>(devices));
  for (int i = 0; i < devices; ++i) answers.push_back(MakeAnswer(i, "12.30.1.1"));
  for (int i = 0; i < std::min(devices, 1000); ++i) upgraded.push_back(MakeAnswer(i, "12.31.1.1"));

  char folder[] = "/tmp/ips-bench-site-XXXXXX";
  if (!mkdtemp(folder)) return 1;
  // Alternating runs, the best of the passes each: the machine's other load touches both alike.
  Result without{1e9}, with{1e9};
  // Each run in a child process of its own, so that both start from the same heap (a run after
  // another in one process meets the heap the first left, which weighs more than recording);
  // the order changes from pass to pass all the same.
  for (int pass = 0; pass < passes; ++pass) {
    const std::string db = std::string(folder) + "/site" + std::to_string(pass) + ".sqlite";
    for (int run = 0; run < 2; ++run) {
      // IPS_BENCH_ONLY=with or =without runs one side alone (for a profiler).
      const char* only = std::getenv("IPS_BENCH_ONLY");
      const bool withRun = (run == 0) != (pass % 2 == 0);
      if (only && std::string(only) != (withRun ? "with" : "without")) continue;
      if (!withRun) {
        const Result a = InChild([&] { return Run(answers, upgraded, rounds, ""); });
        if (a.cpu < without.cpu) without = a;
      } else {
        const Result b = InChild([&] { return Run(answers, upgraded, rounds, db); });
        if (b.cpu < with.cpu) with = b;
      }
    }
  }
  const double hook = HookOnly(devices, rounds, std::string(folder) + "/hook.sqlite");
  const double answersTotal = static_cast<double>(devices) * rounds;
  std::printf("devices %d, rounds %d (a discovery every 5 s: %d simulated seconds), %.0f answers\n",
              devices, rounds, rounds * 5, answersTotal);
  std::printf("without recording: %.2f s CPU (%.2f us per answer)\n", without.cpu,
              without.cpu / answersTotal * 1e6);
  std::printf(
      "with recording:    %.2f s CPU (%.2f us per answer), of which writing %.2f s; "
      "%llu transactions, database %.1f MB (%lld devices, %lld changes)\n",
      with.cpu, with.cpu / answersTotal * 1e6, with.writing,
      static_cast<unsigned long long>(with.transactions), with.databaseMb,
      static_cast<long long>(with.devices), static_cast<long long>(with.changes));
  std::filesystem::remove_all(folder);
  std::printf("recording adds %.1f %% CPU\n", (with.cpu / without.cpu - 1) * 100);
  std::printf(
      "the recorder in the answer path alone: %.3f us per answer, %.1f %% of an answer without "
      "recording; its writing %.1f %%\n",
      hook / answersTotal * 1e6, hook / without.cpu * 100, with.writing / without.cpu * 100);
  return 0;
}
