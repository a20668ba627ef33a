#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "protocol/msg_header.h"
#include "protocol/reply_records.h"
#include "protocol/request_records.h"
#include "shell/entry_bound.h"

struct PACKET_RECORD_T;

// The one road between packet records and documents: builds a whole datagram (header and
// encrypted document) into a packet record, decodes the payload of a received one, and
// remembers per device key which envelope the device speaks (1 = IV-prefixed, 0 = bare).
// Every operation returns 0 on success and -1 on failure; callable from any thread.
class CMsgFacade {
public:
  static CMsgFacade* GetInstance();
  CMsgFacade() = default;

  // Builders: zero the whole packet record, build the document behind the header (payload mode
  // 2) and set the record's datagram length. Key-based builders encrypt with the prefix when the
  // key's envelope mode is non-zero (a key never seen is recorded with mode 0).
  int BuildDiscoverMsg(PACKET_RECORD_T* packet, const DISCOVER_REQ_T* request, int encType);
  int BuildRequestConfigMsg(PACKET_RECORD_T* packet, const REPORT_CONFIG_T* request,
                            const std::string& key);
  int BuildUpdateConfigMsg(PACKET_RECORD_T* packet, const REPORT_CONFIG_T* request,
                           const std::string& key);
  int BuildRemoteControlMsg(PACKET_RECORD_T* packet, const REMOTE_CONTROL_T* request,
                            const std::string& key);
  int BuildRequestAuthenticate(PACKET_RECORD_T* packet, const AUTHENTICATE_REQ_T* request,
                               const std::string& key);
  int BuildUpgradeSendMsg(PACKET_RECORD_T* packet, const UPGRADE_SEND_T* request,
                          const std::string& key, int encType);

  // Parsers. datagram is the received datagram (header first) of datagramLength bytes;
  // payloadLength and mode come from ReadMsgHeader. A payload length that is negative or runs
  // past datagramLength is refused. The datagram is only read.
  int ParseDiscoverAckMsg(const uint8_t* datagram, int datagramLength, DISCOVER_ACK_T* out,
                          int payloadLength, int mode);
  // ParseDiscoverAckMsg in two steps, for a caller that looks at the answer's text first:
  // DecodeDiscoverAck leaves the payload's text (decrypted when mode asks for it) in *text,
  // ParseDiscoverAckText reads the answer from it.
  int DecodeDiscoverAck(const uint8_t* datagram, int datagramLength, int payloadLength, int mode,
                        std::vector<uint8_t>* text);
  int ParseDiscoverAckText(const std::vector<uint8_t>& text, DISCOVER_ACK_T* out);
  int ParseAuthenticateAck(const uint8_t* datagram, int datagramLength, COMMON_ACK_T* out,
                           const std::string& key, int payloadLength);
  int ParseAckMsg(const uint8_t* datagram, int datagramLength, MSG_ACK_T* out,
                  const std::string& key, int payloadLength, int mode);
  int ParseReportConfigMsg(const uint8_t* datagram, int datagramLength, REPORT_CONFIG_T* out,
                           const std::string& key, int payloadLength, int mode);

  // Envelope modes, keyed by the exact key text (case and ':' matter). The map holds at most
  // CEntryBound::kDefaultLimit keys: past that a new key is refused (counted, logged) and reads
  // as mode 0, so forged answers cannot grow it without end.
  // False when the key was refused.
  bool SetEnvelopeMode(const std::string& key, int mode);
  int LookupEnvelopeMode(const std::string& key);  // inserts 0 for a key never seen
  uint64_t RefusedEnvelopeModes() const { return bound_.Refused(); }
  std::map<std::string, int32_t> EnvelopeModes() const;  // a copy, for tests and diagnostics
  // Moves whenever a key's mode is added or changed: a caller that set a key's mode and finds
  // the count where it left it knows the mode is still the one it set.
  uint64_t EnvelopeModeWrites() const { return envelopeWrites_.load(std::memory_order_acquire); }

private:
  int EncTypeForKey(const std::string& key);

  mutable std::mutex lock_;
  // Looked up for every discovery answer: hashed, as a /16's worth of keys in a tree is a
  // dozen cache misses a lookup.
  std::unordered_map<std::string, int32_t> envelopeModes_;
  std::atomic<uint64_t> envelopeWrites_{0};
  CEntryBound bound_{"envelope mode map"};
};
