#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/site/device_status.h"
#include "shell/entry_bound.h"

// A discovery answer as the table takes it: the device's own texts, the model as the device sent
// it (empty when the catalog is to name it) and the work MAC without separators.
struct DISCOVER_ANSWER_T {
  std::string ip;
  std::string mac;
  std::string workMac;
  std::string firmware;
  std::string model;
  std::string deviceId;
};

// What the worker noted for a sender after applying its last answer, so that applying a repeat
// of it can skip the lookups that would find everything as it was. Reset when the text changes.
struct DISCOVER_NOTES_T {
  size_t tablePosition = static_cast<size_t>(-1);  // where the entry was (DeviceUnchangedAt)
  int envelopeMode = -1;                           // the mode set for the device's key, -1 for none
  uint64_t envelopeWrites = 0;  // the facade's count of mode writes right after it was set
  CDeviceStatusTracker::HANDLE_T status;  // the device's status record
};

// Every device answers every discovery, and almost always with the very text it sent the last
// time. Reading that text again (the XML reader is most of an answer's cost) gives the same
// texts, so the memo keeps, per sender (the frame's source MAC), a digest of its last answer's
// text and what was read from it; an answer whose text has the same digest and length is taken
// from there. Any change of the text is read anew. The digest is seeded per process, so a text
// cannot be made to match another one on purpose; and a sender can only ever be answered with
// what it sent itself. Bounded like the device table. Thread-safe.
class CDiscoverAnswerMemo {
public:
  CDiscoverAnswerMemo();

  // Decodes the discovery answer in a received datagram (header first; payloadLength and mode
  // from its header) sent from senderMac. False when it does not decode (the protocol layer
  // logs why).
  // *notes: the sender's notes (reset unless the answer repeats the sender's last one), or null
  // when the sender is not kept; they stay valid until the next Decode. One thread decodes.
  bool Decode(const uint8_t senderMac[6], const uint8_t* datagram, int datagramLength,
              int payloadLength, int mode, DISCOVER_ANSWER_T* out, DISCOVER_NOTES_T** notes);

  size_t Size() const;
  static constexpr size_t kMaxSenders = CEntryBound::kDefaultLimit;

private:
  struct KEPT_T {
    uint64_t digest = 0;
    size_t length = 0;
    std::string texts;  // the six texts of DISCOVER_ANSWER_T, each followed by a zero byte
    DISCOVER_NOTES_T notes;
  };

  mutable std::mutex lock_;
  std::unordered_map<uint64_t, KEPT_T> kept_;  // by the sender's 48-bit MAC
  std::vector<uint8_t> text_;                  // the decoded text, reused for every answer
  const uint64_t seed_;
};
