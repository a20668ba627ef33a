#include "cli/mqtt_credentials.h"

#include <cstdlib>
#include <fstream>
#include <iostream>

#include "cli/cli_exit_codes.h"

int MakeMqttLinkOptions(const MQTT_CLIENT_ARGS_T& args, MQTT_LINK_OPTIONS_T* options) {
  std::string error;
  if (!ParseMqttUrl(args.url, &options->url, &error)) {
    std::cerr << "ipscanner-cli: " << error << "\n";
    return kExitUsage;
  }
  options->caFile = args.caFile;
  options->user = args.user;
  if (!args.passwordFile.empty()) {
    std::ifstream file(args.passwordFile);
    if (!file) {
      std::cerr << "ipscanner-cli: cannot read the password file " << args.passwordFile << "\n";
      return kExitFileError;
    }
    std::getline(file, options->password);
    while (!options->password.empty() &&
           (options->password.back() == '\n' || options->password.back() == '\r')) {
      options->password.pop_back();
    }
  } else if (const char* fromEnvironment = std::getenv(kMqttPasswordEnvironment)) {
    options->password = fromEnvironment;
  }
  unsetenv(kMqttPasswordEnvironment);
  return kExitOk;
}
