#include "core/authenticate_dispatcher.h"

#include <algorithm>
#include <deque>
#include <map>
#include <mutex>

#include "core/control.h"
#include "protocol/reply_records.h"
#include "protocol/text_field.h"
#include "shell/global_utils.h"

namespace {
constexpr size_t kRememberedIdentifiers = 32;
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
}  // namespace

struct CAuthenticateDispatcher::State {
  struct Wait {
    bool answered = false;
    bool accepted = false;
  };
  mutable std::mutex lock;
  std::map<std::string, Wait> waits;  // by identifier
  std::deque<std::string> handedOut;  // the latest identifiers, newest last
  uint32_t serial = 0;

  void Take(const COMMON_ACK_T* ack) {
    if (ack == nullptr) return;
    const std::string identifier = FieldToUtf8(ack->szUUID);
    std::lock_guard<std::mutex> guard(lock);
    auto it = waits.find(identifier);
    if (it == waits.end()) return;  // nobody waits for it any more, or never did
    it->second.accepted = ack->nResult == 0;
    it->second.answered = true;
  }
};

CAuthenticateDispatcher::CAuthenticateDispatcher(CControl& control)
    : m_control(control), m_state(std::make_shared<State>()) {
  std::shared_ptr<State> state = m_state;
  m_control.SetAuthenticateCallback([state](COMMON_ACK_T* ack) { state->Take(ack); });
}

CAuthenticateDispatcher::~CAuthenticateDispatcher() { m_control.SetAuthenticateCallback(nullptr); }

std::string CAuthenticateDispatcher::NewIdentifier(int length) {
  std::string identifier = CGlobalUtils::RandomText(length);
  std::lock_guard<std::mutex> guard(m_state->lock);
  auto used = [&] {
    return std::find(m_state->handedOut.begin(), m_state->handedOut.end(), identifier) !=
           m_state->handedOut.end();
  };
  while (!identifier.empty() && used()) {
    // Write a serial number into the tail, in the generator's own alphabet.
    uint32_t n = ++m_state->serial;
    for (size_t i = identifier.size(); i-- > 0 && n > 0; n /= 62) identifier[i] = kAlphabet[n % 62];
  }
  m_state->handedOut.push_back(identifier);
  if (m_state->handedOut.size() > kRememberedIdentifiers) m_state->handedOut.pop_front();
  return identifier;
}

void CAuthenticateDispatcher::Open(const std::string& identifier) {
  std::lock_guard<std::mutex> guard(m_state->lock);
  m_state->waits[identifier] = State::Wait{};
}

bool CAuthenticateDispatcher::Answered(const std::string& identifier, bool* accepted) const {
  std::lock_guard<std::mutex> guard(m_state->lock);
  auto it = m_state->waits.find(identifier);
  if (it == m_state->waits.end() || !it->second.answered) return false;
  if (accepted != nullptr) *accepted = it->second.accepted;
  return true;
}

void CAuthenticateDispatcher::Close(const std::string& identifier) {
  std::lock_guard<std::mutex> guard(m_state->lock);
  m_state->waits.erase(identifier);
}

void CAuthenticateDispatcher::OnAuthenticateAck(COMMON_ACK_T* ack) { m_state->Take(ack); }
