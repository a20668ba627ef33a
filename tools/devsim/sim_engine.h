#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "sim_fleet.h"
#include "transport/udp_frame.h"

// One frame to inject at dueMs (milliseconds on the caller's clock).
struct SimOutFrame {
  int64_t dueMs = 0;
  std::vector<uint8_t> bytes;
};

// A firmware download the caller performs (over HTTP) before reporting back.
struct SimUpgradeJob {
  int device = 0;
  std::string url;
  std::string version;
  FrameEndpoint requester;
};

struct SimStats {
  uint64_t framesSeen = 0;
  uint64_t discovers = 0;
  uint64_t requests = 0;     // unicast requests taken by a device
  uint64_t undecodable = 0;  // no key gave a document
  uint64_t answers = 0;      // frames produced
  uint64_t faulted = 0;      // answers dropped, corrupted or truncated on purpose
};

// The devices' behaviour, free of capture and clocks: a captured frame in, the frames to send
// (with the time each is due) and the downloads to run out. Not thread-safe: one caller at a time.
class SimEngine {
public:
  SimEngine(const SimOptions& options, std::vector<SimDevice> fleet);

  void OnFrame(const uint8_t* frame, int length, int64_t nowMs, std::vector<SimOutFrame>* out,
               std::vector<SimUpgradeJob>* jobs);
  // The download of a job ended: on success the device reboots into the offered version and
  // announces its boot; otherwise it keeps running its firmware.
  void OnUpgradeResult(const SimUpgradeJob& job, bool ok, int64_t nowMs,
                       std::vector<SimOutFrame>* out);

  const std::vector<SimDevice>& Devices() const { return fleet_; }
  const SimStats& Stats() const { return stats_; }
  // True once after a device's state changed (addressing, credentials, firmware, reboot).
  bool TakeStateChanged();

  std::function<void(const std::string&)> log;  // verbose lines, when set

private:
  SimDevice* DeviceForFrame(const uint8_t* dstMac);
  bool DecryptRequest(const SimDevice* device, const uint8_t* payload, int length, int mode,
                      std::string* text);
  void Answer(const SimDevice& device, const FrameEndpoint& to, int messageId,
              const std::string& xml, const std::string& keyText, int64_t dueMs,
              std::vector<SimOutFrame>* out);
  void Log(const std::string& line);

  SimOptions options_;
  std::vector<SimDevice> fleet_;
  std::unordered_map<uint64_t, int> byWorkMac_;
  SimStats stats_;
  uint16_t identification_ = 1;
  bool stateChanged_ = false;
};

// Encrypts a document in the device's envelope behind a 10-byte header (payload mode 2).
std::vector<uint8_t> BuildDeviceDatagram(int messageId, const std::string& xml,
                                         const std::string& keyText, bool prefixed);
