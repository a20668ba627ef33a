#pragma once

#include <cstdint>
#include <random>
#include <vector>

// Hostile traffic for load tests: datagrams with a valid device header and message ID (an
// acknowledge, a configuration report or an authenticate answer) whose payload is random
// whole cipher blocks, so no key decrypts them. They come from MACs no device has (0A:..) and
// go to the segment's broadcast, so the program under test captures every one.
class SimJunkSource {
public:
  explicit SimJunkSource(uint32_t seed) : random_(seed) {}
  // One whole Ethernet frame.
  std::vector<uint8_t> NextFrame();

private:
  std::mt19937 random_;
  uint16_t identification_ = 1;
};
