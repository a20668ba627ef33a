#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "protocol/fallback_budget.h"
#include "protocol/reply_records.h"
#include "protocol/request_records.h"

class TiXmlDocument;

// encType values handed to the builders.
constexpr int kEncTypeBare = 2;      // zero IV, no prefix
constexpr int kEncTypePrefixed = 3;  // random IV behind the "ozrq6600" prefix
// Any other value leaves the document plain where the builder allows it.

// Builds the request documents and parses the reply documents. Stateless apart from the source
// of fallback keys; one process-wide instance.
class CMsgHandle {
public:
  // Keys tried per second at most by the fallback (see CFallbackBudget): about a fifth of a
  // core at one AES block per key, and room for 200 datagrams a second with 5,000 devices.
  static constexpr int64_t kFallbackKeyTriesPerSecond = 1000000;

  static CMsgHandle* GetInstance();
  // fallbackKeyTriesPerSecond: the fallback's budget (tests pass a small one).
  explicit CMsgHandle(int64_t fallbackKeyTriesPerSecond = kFallbackKeyTriesPerSecond);

  // Builders: write the payload (plain or encrypted) followed by one zero byte into out, whose
  // size is capacity bytes, and store the payload length (without that zero) in *length.
  // 0 on success; -1 for a null pointer, or when a line exceeds 1024 bytes or the document or its
  // envelope does not fit capacity (nothing is written past out + capacity).
  // Discover always encrypts with kDiscoverKeyText, Authenticate always encrypts; the other
  // builders leave the document plain unless encType is 2 or 3.
  int BuildDiscoverMsg(uint8_t* out, int capacity, const DISCOVER_REQ_T* request, int* length,
                       int encType);
  int BuildRequestConfigMsg(uint8_t* out, int capacity, const REPORT_CONFIG_T* request, int* length,
                            const std::string& keyText, int encType);
  int BuildUpdateConfigMsg(uint8_t* out, int capacity, const REPORT_CONFIG_T* request, int* length,
                           const std::string& keyText, int encType);
  int BuildRequestAuthenticate(uint8_t* out, int capacity, const AUTHENTICATE_REQ_T* request,
                               int* length, const std::string& keyText, int encType);
  int BuildUpgradeSendMsg(uint8_t* out, int capacity, const UPGRADE_SEND_T* request, int* length,
                          const std::string& keyText, int encType);
  int BuildRemoteControlMsg(uint8_t* out, int capacity, const REMOTE_CONTROL_T* request,
                            int* length, const std::string& keyText, int encType);

  // Parsers: payload holds exactly length bytes (the caller has checked them against what was
  // received); it is only read, never written. mode is the header's payload mode. 0 on success,
  // -1 on failure (with the error log lines of the reply handling).
  int ParseDiscoverAckMsg(const uint8_t* payload, DISCOVER_ACK_T* out, int length, int mode);
  // The two halves of ParseDiscoverAckMsg, for a caller that looks at the text before it is
  // parsed. DecodeDiscoverAckText puts the payload's text (decrypted when mode asks for it)
  // into *text, zero bytes behind it; false (logged) when it does not decrypt.
  // ParseDiscoverAckText parses such a text; -1 (logged) when it is no answer document.
  bool DecodeDiscoverAckText(const uint8_t* payload, int length, int mode,
                             std::vector<uint8_t>* text);
  int ParseDiscoverAckText(const std::vector<uint8_t>& text, DISCOVER_ACK_T* out);
  int ParseAuthenticateAck(const uint8_t* payload, COMMON_ACK_T* out, const std::string& keyText,
                           int length);
  int ParseAckMsg(const uint8_t* payload, MSG_ACK_T* out, const std::string& keyText, int length,
                  int mode);
  int ParseReportConfigMsg(const uint8_t* payload, REPORT_CONFIG_T* out, const std::string& keyText,
                           int length, int mode);

  using KeyList = std::shared_ptr<const std::vector<std::string>>;
  // Key texts tried, in order, when a reply does not parse with its own key. The default source
  // is the one the owner of the device table hands over at start (the control core: the keys
  // of its table, a list it keeps between changes); before that there are none. Tests and tools
  // may put another source in front (an empty function returns to the default).
  using KeySource = std::function<std::vector<std::string>()>;
  void SetFallbackKeySource(KeySource source);
  using DefaultKeySource = std::function<KeyList()>;
  void SetDefaultFallbackKeySource(DefaultKeySource source);

  // The fallback of the parsers: the first key of the fallback list that decrypts payload into
  // a document in doc, within the budget. False (with a log line once a second when the budget
  // is spent) when none does.
  bool LoadWithFallbackKeys(const uint8_t* payload, int length, uint8_t* text, int textCapacity,
                            TiXmlDocument* doc);

  // Datagrams whose fallback was skipped because the budget was spent.
  uint64_t FallbackRefusals() const { return budget_.Refused(); }

  KeyList FallbackKeys() const;
  bool AllowFallback();
  void SpendFallback(int64_t keyTries) { budget_.Spend(keyTries); }
  int64_t FallbackBudgetLeft() const { return budget_.Left(); }

private:
  KeySource keySource_;
  mutable std::mutex defaultSourceLock_;
  DefaultKeySource defaultKeySource_;
  CFallbackBudget budget_;
};
