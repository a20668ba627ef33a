#include "cli/mqtt_credentials.h"

#include <cstdlib>
#include <iostream>

#include "cli/cli_credentials.h"
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
    if (const int code = ReadPasswordFile(args.passwordFile, &options->password); code != kExitOk)
      return code;
  } else if (const char* fromEnvironment = std::getenv(kMqttPasswordEnvironment)) {
    options->password = fromEnvironment;
  }
  unsetenv(kMqttPasswordEnvironment);
  return kExitOk;
}
