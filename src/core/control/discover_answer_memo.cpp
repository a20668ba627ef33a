#include "core/control/discover_answer_memo.h"

#include <cstring>
#include <random>

#include "core/common/mac_text.h"
#include "protocol/msg_facade.h"
#include "protocol/reply_records.h"
#include "protocol/text_field.h"

namespace {

uint64_t Mix(uint64_t x) {
  x ^= x >> 31;
  x *= 0x7FB5D329728EA185ull;
  x ^= x >> 27;
  x *= 0x81DADEF4BC2DD44Dull;
  x ^= x >> 33;
  return x;
}

// A seeded 64-bit digest of the text: eight bytes a step.
uint64_t Digest(const uint8_t* bytes, size_t length, uint64_t seed) {
  uint64_t digest = seed ^ (length * 0x9E3779B97F4A7C15ull);
  size_t i = 0;
  for (; i + 8 <= length; i += 8) {
    uint64_t word;
    std::memcpy(&word, bytes + i, 8);
    digest = (digest ^ word) * 0x9E3779B97F4A7C15ull;
    digest ^= digest >> 29;
  }
  uint64_t tail = 0;
  std::memcpy(&tail, bytes + i, length - i);
  return Mix(digest ^ tail);
}

uint64_t MacKey(const uint8_t mac[6]) {
  uint64_t key = 0;
  for (int i = 0; i < 6; ++i) key = (key << 8) | mac[i];
  return key;
}

uint64_t RandomSeed() {
  std::random_device device;
  return (static_cast<uint64_t>(device()) << 32) ^ device();
}

void Pack(const DISCOVER_ANSWER_T& answer, std::string* texts) {
  texts->clear();
  for (const std::string* text : {&answer.ip, &answer.mac, &answer.workMac, &answer.firmware,
                                  &answer.model, &answer.deviceId}) {
    texts->append(*text);
    texts->push_back('\0');
  }
}

void Unpack(const std::string& texts, DISCOVER_ANSWER_T* answer) {
  const char* next = texts.c_str();
  for (std::string* text : {&answer->ip, &answer->mac, &answer->workMac, &answer->firmware,
                            &answer->model, &answer->deviceId}) {
    text->assign(next);
    next += text->size() + 1;
  }
}

}  // namespace

CDiscoverAnswerMemo::CDiscoverAnswerMemo() : seed_(RandomSeed()) {}

bool CDiscoverAnswerMemo::Decode(const uint8_t senderMac[6], const uint8_t* datagram,
                                 int datagramLength, int payloadLength, int mode,
                                 DISCOVER_ANSWER_T* out, DISCOVER_NOTES_T** notes) {
  if (senderMac == nullptr || out == nullptr || notes == nullptr) return false;
  *notes = nullptr;
  std::lock_guard<std::mutex> guard(lock_);
  CMsgFacade* facade = CMsgFacade::GetInstance();
  if (facade->DecodeDiscoverAck(datagram, datagramLength, payloadLength, mode, &text_) != 0)
    return false;
  const size_t length = static_cast<size_t>(payloadLength);
  const uint64_t digest = Digest(text_.data(), length, seed_);
  const uint64_t sender = MacKey(senderMac);
  auto kept = kept_.find(sender);
  if (kept != kept_.end() && kept->second.digest == digest && kept->second.length == length) {
    Unpack(kept->second.texts, out);
    *notes = &kept->second.notes;
    return true;
  }

  DISCOVER_ACK_T answer;
  if (facade->ParseDiscoverAckText(text_, &answer) != 0) return false;
  out->ip = FieldToUtf8(answer.szIP);
  out->mac = FieldToUtf8(answer.szMAC);
  out->workMac = CompactMacText(FieldToUtf8(answer.szWorkMAC));
  out->firmware = FieldToUtf8(answer.szFW);
  out->model = FieldToUtf8(answer.szModel);
  out->deviceId = FieldToUtf8(answer.szDeviceID);
  if (kept == kept_.end()) {
    if (kept_.size() >= kMaxSenders) return true;  // read, not kept: a flood of invented MACs
    kept = kept_.emplace(sender, KEPT_T{}).first;
  }
  kept->second.digest = digest;
  kept->second.length = length;
  Pack(*out, &kept->second.texts);
  kept->second.notes = DISCOVER_NOTES_T{};
  *notes = &kept->second.notes;
  return true;
}

size_t CDiscoverAnswerMemo::Size() const {
  std::lock_guard<std::mutex> guard(lock_);
  return kept_.size();
}
