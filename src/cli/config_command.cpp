// Hidden "config" command: talks to one device the way the device view does, for tests and
// diagnostics. Discovers until the device is in the table, then optionally authenticates, reads
// configuration items (answered by a configuration report to the notify objects), writes items
// (answered by an acknowledge into the wait slot) and reboots (answered by a boot-up message).
#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <iostream>
#include <memory>
#include <mutex>
#include <thread>

#include "cli/cli_commands.h"
#include "cli/cli_credentials.h"
#include "cli/cli_exit_codes.h"
#include "cli/cli_session.h"
#include "core/common/mac_text.h"
#include "core/common/op_clock.h"
#include "core/control/control.h"
#include "core/control/control_notify.h"
#include "core/control/device_address.h"
#include "core/device/authenticate_dispatcher.h"
#include "core/device/device_operations.h"
#include "shell/global_utils.h"
#include "shell/secure_wipe.h"
#include "shell/terminal_text.h"

namespace {

using Clock = std::chrono::steady_clock;

// Collects what the core tells notify objects about one device.
class CConfigListener : public CControlBaseNotify {
public:
  explicit CConfigListener(std::string key) : key_(std::move(key)) {}
  void OnReportConfig(std::string deviceKey, std::string ip, int port,
                      const std::vector<std::string>* items) override {
    if (deviceKey != key_ || items == nullptr) return;
    std::lock_guard<std::mutex> lock(mutex_);
    reports_.push_back(*items);
    std::cout << "report: from " << ip << ":" << port << "\n";
    for (const std::string& item : *items) std::cout << "  " << TerminalSafe(item) << "\n";
    wake_.notify_all();
  }
  void OnDeviceBootUp(const std::string& deviceKey) override {
    if (deviceKey != key_) return;
    std::lock_guard<std::mutex> lock(mutex_);
    ++bootUps_;
    std::cout << "bootup: " << deviceKey << "\n";
    wake_.notify_all();
  }
  bool WaitReport(Clock::time_point until) {
    std::unique_lock<std::mutex> lock(mutex_);
    return wake_.wait_until(lock, until, [this] { return !reports_.empty(); });
  }
  bool WaitBootUp(Clock::time_point until) {
    std::unique_lock<std::mutex> lock(mutex_);
    return wake_.wait_until(lock, until, [this] { return bootUps_ > 0; });
  }

private:
  std::string key_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<std::vector<std::string>> reports_;
  int bootUps_ = 0;
};

bool FindTarget(const std::string& wanted, DEVICE_ENTRY_T* out) {
  for (const DEVICE_ENTRY_T& d : CControl::GetInstance()->GetDeviceList()) {
    if (SameMac(d.mac, wanted)) {
      *out = d;
      return true;
    }
  }
  return false;
}

bool FillItems(const std::vector<std::string>& texts, char16_t (*items)[kConfigItemChars]) {
  if (texts.size() > static_cast<size_t>(kConfigItemCount)) return false;
  for (size_t i = 0; i < texts.size(); ++i) {
    CGlobalUtils::Utf8ToWide(texts[i].c_str(), items[i], kConfigItemChars);
    items[i][kConfigItemChars - 1] = 0;
  }
  return true;
}

constexpr const char* kLogName = "config";

int Authenticate(const DEVICE_ENTRY_T& device, const std::string& user, const std::string& password,
                 Clock::time_point until) {
  const std::string token = UnpredictableIdentifier(32);
  // Shared with the callable: the worker may still run a copy of it after it is replaced.
  struct AuthWait {
    std::mutex mutex;
    std::condition_variable wake;
    bool answered = false;
    int result = 0;
    std::string description;
  };
  auto wait = std::make_shared<AuthWait>();
  CControl* control = CControl::GetInstance();
  control->SetAuthenticateCallback([wait, token](COMMON_ACK_T* ack) {
    if (ack == nullptr || device_ops::IdentifierOf(*ack) != token)
      return;  // an answer to another request
    std::lock_guard<std::mutex> lock(wait->mutex);
    wait->result = ack->nResult;
    wait->description = device_ops::DescriptionOf(*ack);
    wait->answered = true;
    wait->wake.notify_all();
  });
  int result = kExitOk;
  if (!device_ops::SendAuthenticateOnce(device, user, password, token, kLogName)) {
    std::cerr << "ipscanner-cli: cannot build the authenticate request\n";
    result = kExitUsage;
  } else {
    std::unique_lock<std::mutex> lock(wait->mutex);
    if (!wait->wake.wait_until(lock, until, [&] { return wait->answered; })) {
      std::cerr << "ipscanner-cli: no authenticate answer from " << device.mac << "\n";
      result = kExitNoAnswer;
    } else {
      std::cout << "authenticate: result " << wait->result << " desc \""
                << TerminalSafe(wait->description) << "\"\n";
      if (wait->result != 0) result = kExitNoAnswer;
    }
  }
  control->SetAuthenticateCallback(nullptr);
  return result;
}

}  // namespace

int RunConfig(const ConfigOptions& options) {
  if (options.setItems.size() > static_cast<size_t>(kConfigItemCount) ||
      options.getItems.size() > static_cast<size_t>(kConfigItemCount)) {
    std::cerr << "ipscanner-cli: at most " << kConfigItemCount << " items per request\n";
    return kExitUsage;
  }
  for (const std::string& item : options.setItems) {
    if (item.find('=') == std::string::npos) {
      std::cerr << "ipscanner-cli: --set takes PATH=VALUE, got " << item << "\n";
      return kExitUsage;
    }
  }
  // The password as every other command takes it, never from the command line.
  std::string password;
  if (!options.authUser.empty()) {
    if (options.authUser.find(':') != std::string::npos) {
      std::cerr << "ipscanner-cli: --auth takes the user name only; the password comes from "
                << kPasswordEnvironment << ", --password-file or a prompt\n";
      return kExitUsage;
    }
    const int read = ReadDevicePassword(options.passwordFile, &password);
    if (read != kExitOk) return read;
  }
  CCliSession session;
  const int opened = session.Open(options.interfaceName);
  if (opened != kExitOk) return opened;
  CControl* control = CControl::GetInstance();
  const auto answerTime = std::chrono::seconds(options.seconds);

  // Discover until the device answers.
  DEVICE_ENTRY_T device;
  const auto discoverUntil = Clock::now() + answerTime;
  auto nextDiscovery = Clock::now();
  while (!FindTarget(options.mac, &device)) {
    if (Clock::now() >= discoverUntil) {
      std::cerr << "ipscanner-cli: device " << options.mac << " did not answer the discovery\n";
      return kExitNoAnswer;
    }
    if (Clock::now() >= nextDiscovery) {
      control->MulticastDiscoveryMsg();
      nextDiscovery += std::chrono::seconds(1);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::cout << "device: " << TerminalSafe(device.mac) << " " << TerminalSafe(device.ip) << " work "
            << TerminalSafe(device.workMac) << " model " << TerminalSafe(device.model) << "\n";

  CConfigListener listener(device.mac);
  control->AddNotify(&listener);
  int result = kExitOk;

  if (!options.authUser.empty())
    result = Authenticate(device, options.authUser, password, Clock::now() + answerTime);
  SecureWipe(password);

  if (result == kExitOk && !options.getItems.empty()) {
    REPORT_CONFIG_T request{};
    FillItems(options.getItems, request.module.szItem);
    control->SendRequestConfigMsg(&device, request.module.szItem);
    if (!listener.WaitReport(Clock::now() + answerTime)) {
      std::cerr << "ipscanner-cli: no configuration report from " << device.mac << "\n";
      result = kExitNoAnswer;
    }
  }

  if (result == kExitOk && !options.setItems.empty()) {
    REPORT_CONFIG_T request{};
    FillItems(options.setItems, request.module.szItem);
    control->SetWaitMacAndCrc(device.mac, 0);
    control->SendUpdateConfigMsg(&device, request.module.szItem);
    MSG_ACK_T ack{};
    bool arrived = false;
    const auto until = Clock::now() + answerTime;
    while (!(arrived = control->GetWaitAck(&ack) == 0) && Clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!arrived) {
      std::cerr << "ipscanner-cli: no acknowledge from " << device.mac << "\n";
      result = kExitNoAnswer;
    } else {
      const device_ops::AckTexts texts = device_ops::TextsOf(ack);
      std::cout << "ack: MsgID=" << TerminalSafe(texts.msgId)
                << " MsgCRC=" << TerminalSafe(texts.msgCrc)
                << " Result=" << TerminalSafe(texts.result) << " Info=" << TerminalSafe(texts.info)
                << "\n";
      if (texts.result != "OK") result = kExitNoAnswer;
    }
  }

  if (result == kExitOk && options.reboot) {
    const device_ops::RemoteOutcome sent =
        device_ops::RemoteControl(SteadyOpClock(), device, device_ops::kCommandReboot, kLogName);
    if (sent != device_ops::RemoteOutcome::kSent) {
      const bool built = sent != device_ops::RemoteOutcome::kNotBuilt;
      std::cerr << "ipscanner-cli: cannot " << (built ? "send" : "build")
                << " the reboot request\n";
      result = kExitUsage;
    } else if (!listener.WaitBootUp(Clock::now() + answerTime)) {
      std::cerr << "ipscanner-cli: no boot-up message from " << device.mac << "\n";
      result = kExitNoAnswer;
    }
  }

  session.Close();  // the worker has finished before the listener goes
  control->RemoveNotify(&listener);
  return result;
}
