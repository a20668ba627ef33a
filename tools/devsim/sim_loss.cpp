#include "sim_loss.h"

#include <cerrno>
#include <cstdlib>

SimLoss::SimLoss(double share, uint32_t seed, int burst)
    : share_(share), burst_(burst < 1 ? 1 : burst), rng_(seed) {}

bool SimLoss::Drop() {
  if (left_ > 0) {
    --left_;
    ++dropped_;
    return true;
  }
  if (share_ <= 0.0 || unit_(rng_) >= share_ / burst_) return false;
  left_ = burst_ - 1;
  ++dropped_;
  return true;
}

bool ParseLossOption(const std::string& text, uint32_t defaultSeed, double* share, uint32_t* seed,
                     std::string* error) {
  const size_t comma = text.find(',');
  const std::string shareText = text.substr(0, comma);
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(shareText.c_str(), &end);
  if (shareText.empty() || *end != '\0' || errno != 0 || !(value >= 0.0 && value < 1.0)) {
    *error = "--loss takes a share from 0 up to (not including) 1, got \"" + shareText + "\"";
    return false;
  }
  uint32_t parsedSeed = defaultSeed;
  if (comma != std::string::npos) {
    const std::string seedText = text.substr(comma + 1);
    errno = 0;
    const unsigned long long s = std::strtoull(seedText.c_str(), &end, 10);
    if (seedText.empty() || seedText[0] == '-' || *end != '\0' || errno != 0 || s > 0xFFFFFFFFull) {
      *error = "--loss seed must be a number from 0 to 4294967295, got \"" + seedText + "\"";
      return false;
    }
    parsedSeed = static_cast<uint32_t>(s);
  }
  *share = value;
  *seed = parsedSeed;
  return true;
}
