#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/common/mac_text.h"

// The site recorder's per-answer bookkeeping without per-answer allocations: a map from a MAC's
// key (MacKeyOf) held in one flat array (open addressing). 65,000 devices answer every 5 seconds
// on the control core's worker thread; small nodes allocated and freed there would scatter the
// heap that the core's own answer parsing allocates from.

template <typename V>
class CMacKeyMap {
public:
  // The value of `key`, a default one added when there was none.
  V& operator[](uint64_t key) {
    if ((m_size + 1) * 4 > m_slots.size() * 3) Grow();
    Slot& slot = m_slots[Position(key)];
    if (!slot.used) {
      slot.used = true;
      slot.key = key;
      ++m_size;
    }
    return slot.value;
  }
  const V* Find(uint64_t key) const {
    if (m_slots.empty()) return nullptr;
    const Slot& slot = m_slots[Position(key)];
    return slot.used ? &slot.value : nullptr;
  }
  size_t Size() const { return m_size; }
  void Clear() {
    m_slots.clear();
    m_size = 0;
  }

private:
  struct Slot {
    uint64_t key = 0;
    bool used = false;
    V value{};
  };
  static size_t Mix(uint64_t k) {
    k ^= k >> 33;
    k *= 0xff51afd7ed558ccdull;
    k ^= k >> 33;
    return static_cast<size_t>(k);
  }
  // The slot holding `key`, or the free slot where it belongs (there always is one).
  size_t Position(uint64_t key) const {
    const size_t mask = m_slots.size() - 1;
    size_t i = Mix(key) & mask;
    while (m_slots[i].used && m_slots[i].key != key) i = (i + 1) & mask;
    return i;
  }
  void Grow() {
    std::vector<Slot> old = std::move(m_slots);
    m_slots.assign(old.empty() ? 64 : old.size() * 2, Slot{});
    for (Slot& slot : old) {
      if (slot.used) m_slots[Position(slot.key)] = std::move(slot);
    }
  }

  std::vector<Slot> m_slots;  // a power of two long, at most three quarters used
  size_t m_size = 0;
};
