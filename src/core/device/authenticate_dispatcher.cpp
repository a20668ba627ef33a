#include "core/device/authenticate_dispatcher.h"

#include <sys/random.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <deque>
#include <map>
#include <mutex>

#include "core/control/control.h"
#include "protocol/reply_records.h"
#include "protocol/text_field.h"
#include "shell/global_utils.h"

namespace {
constexpr size_t kRememberedIdentifiers = 32;
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

}  // namespace

// `length` characters of kAlphabet from getrandom. A byte is kept only below the largest multiple
// of 62 (248), so every character is equally likely.
std::string UnpredictableIdentifier(int length) {
  std::string text;
  if (length <= 0) return text;
  text.reserve(static_cast<size_t>(length));
  unsigned char bytes[64];
  while (text.size() < static_cast<size_t>(length)) {
    const ssize_t got = getrandom(bytes, sizeof(bytes), 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      // The kernel always has getrandom (3.17 and later); should it fail, no identifier beats a
      // guessable one.
      std::abort();
    }
    for (ssize_t i = 0; i < got && text.size() < static_cast<size_t>(length); ++i) {
      if (bytes[i] < 248) text += kAlphabet[bytes[i] % 62];
    }
  }
  return text;
}
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
  std::string identifier = UnpredictableIdentifier(length);
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
