#pragma once

#include <cstdint>
#include <random>
#include <string>

// Lost frames, as a busy switch or a Wi-Fi bridge loses them: each frame is dropped with a
// fixed share, from a generator of its own, so a run with the same seed loses the same frames
// of each direction. With a burst length above 1 a loss takes that many frames in a row; bursts
// start less often, so the share of lost frames stays about the same.
class SimLoss {
public:
  SimLoss() = default;
  SimLoss(double share, uint32_t seed, int burst);

  // True when this frame is lost. Not thread-safe: one caller per direction.
  bool Drop();

  bool Active() const { return share_ > 0.0; }
  uint64_t Dropped() const { return dropped_; }

private:
  double share_ = 0.0;
  int burst_ = 1;
  int left_ = 0;  // frames still to drop in the running burst
  std::mt19937 rng_;
  std::uniform_real_distribution<double> unit_{0.0, 1.0};
  uint64_t dropped_ = 0;
};

// "--loss P[,SEED]": P in [0, 1) and an optional seed (else `defaultSeed`). False with *error
// set when the text is neither.
bool ParseLossOption(const std::string& text, uint32_t defaultSeed, double* share, uint32_t* seed,
                     std::string* error);

// The seed of the send direction: independent of the receive direction's.
inline uint32_t SendLossSeed(uint32_t seed) { return seed ^ 0x9E3779B9u; }
