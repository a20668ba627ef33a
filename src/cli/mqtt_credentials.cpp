#include "cli/mqtt_credentials.h"

#include <iostream>
#include <optional>

#include "cli/cli_credentials.h"
#include "cli/cli_exit_codes.h"
#include "shell/secure_wipe.h"

namespace {

std::optional<std::string>& EnvironmentMqttPassword() {
  static std::optional<std::string> taken;
  return taken;
}

}  // namespace

void TakeMqttPasswordFromEnvironment() {
  if (std::optional<std::string> taken = TakeSecretFromEnvironment(kMqttPasswordEnvironment))
    EnvironmentMqttPassword() = std::move(taken);
}

int MakeMqttLinkOptions(const MQTT_CLIENT_ARGS_T& args, MQTT_LINK_OPTIONS_T* options) {
  std::string error;
  if (!ParseMqttUrl(args.url, &options->url, &error)) {
    std::cerr << "ipscanner-cli: " << error << "\n";
    return kExitUsage;
  }
  options->caFile = args.caFile;
  options->user = args.user;
  TakeMqttPasswordFromEnvironment();  // when main has not taken it yet
  if (!args.passwordFile.empty()) {
    if (const int code = ReadPasswordFile(args.passwordFile, &options->password); code != kExitOk)
      return code;
  } else if (std::optional<std::string>& fromEnvironment = EnvironmentMqttPassword()) {
    options->password = *fromEnvironment;
  }
  // One command, one link: the taken copy is not needed again.
  if (std::optional<std::string>& taken = EnvironmentMqttPassword()) {
    SecureWipe(*taken);
    taken.reset();
  }
  if (PasswordTravelsInClear(*options) && !args.allowPlaintextPassword) {
    SecureWipe(options->password);
    std::cerr << "ipscanner-cli: refusing to send the broker password unencrypted to "
              << options->url.host
              << ": use mqtts:// (with --ca for the broker's CA), a broker on this computer, or "
                 "--allow-plaintext-password (allow_plaintext_password = yes in the agent's "
                 "configuration) where the network is trusted\n";
    return kExitUsage;
  }
  return kExitOk;
}
