// ipscanner-cli agent: the site agent (agent/site_agent.h) with its options from the command line
// and the agent's configuration file, its broker link, its spool, the capture and the site
// record of this run.
#include <iostream>
#include <nlohmann/json.hpp>

#include "agent/agent_config.h"
#include "agent/agent_topics.h"
#include "agent/event_spool.h"
#include "agent/mqtt_link.h"
#include "agent/site_agent.h"
#include "cli/agent_options.h"
#include "cli/cli_exit_codes.h"
#include "cli/cli_session.h"
#include "cli/cli_site.h"
#include "cli/mqtt_credentials.h"
#include "cli/stop_signals.h"
#include "core/control/capture_subnets.h"
#include "platform/module_dir.h"
#include "platform/user_folders.h"
#include "record/site_recorder.h"
#include "shell/secure_wipe.h"

namespace {

constexpr size_t kSpoolBound = 100000;

std::string Json(const nlohmann::json& object) {
  return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// Command-line values win over the configuration file's.
int ApplyConfigFile(AgentOptions* options) {
  if (options->configPath.empty()) return kExitOk;
  AGENT_CONFIG_T config;
  std::string error;
  if (!ReadAgentConfig(options->configPath, &config, &error)) {
    std::cerr << "ipscanner-cli: " << error << "\n";
    return kExitFileError;
  }
  auto fill = [&config](const char* key, std::string* value) {
    const auto it = config.values.find(key);
    if (value->empty() && it != config.values.end()) *value = it->second;
  };
  fill("site", &options->site);
  fill("mqtt", &options->mqtt.url);
  fill("ca", &options->mqtt.caFile);
  fill("user", &options->mqtt.user);
  fill("password_file", &options->mqtt.passwordFile);
  fill("interface", &options->interfaceName);
  fill("spool", &options->spoolPath);
  if (const auto it = config.values.find("allow_plaintext_password"); it != config.values.end()) {
    bool allow = false;
    if (!ParseConfigSwitch(it->second, &allow)) {
      std::cerr << "ipscanner-cli: " << options->configPath
                << ": allow_plaintext_password is yes or no, not '" << it->second << "'\n";
      return kExitUsage;
    }
    options->mqtt.allowPlaintextPassword = options->mqtt.allowPlaintextPassword || allow;
  }
  return kExitOk;
}

std::string DefaultSpoolPath(const std::string& site) {
  const std::string module = GetModuleFolder();
  const std::string folder =
      IsModuleFolderReadOnly(module) ? UserDataFolder() + "/sites" : module + "/sites";
  if (!MakeFolders(folder)) return "";
  return folder + "/" + site + ".agent-spool";
}

}  // namespace

int RunAgent(AgentOptions options) {
  if (const int code = ApplyConfigFile(&options); code != kExitOk) return code;
  std::string reason;
  if (options.site.empty()) options.site = "default";
  if (!IsValidSiteName(options.site, &reason)) {
    std::cerr << "ipscanner-cli: bad site name: " << reason << "\n";
    return kExitUsage;
  }
  // The agent's site is the site record's too: its devices and problem events go there.
  SetCliSiteName(options.site);
  if (options.mqtt.url.empty()) {
    std::cerr << "ipscanner-cli: agent needs --mqtt URL (or mqtt = URL in its configuration)\n";
    return kExitUsage;
  }
  MQTT_LINK_OPTIONS_T linkOptions;
  if (const int code = MakeMqttLinkOptions(options.mqtt, &linkOptions); code != kExitOk) {
    return code;
  }
  linkOptions.clientId = "ipscanner-agent-" + options.site;
  linkOptions.keepAliveSeconds = options.keepAliveSeconds;
  linkOptions.willTopic = SiteStatusTopic(options.site);
  linkOptions.willPayload = Json({{"site", options.site}, {"state", "offline"}});

  if (options.spoolPath.empty()) options.spoolPath = DefaultSpoolPath(options.site);
  CEventSpool spool(options.spoolPath, kSpoolBound);
  if (!spool.Load(&reason)) {
    std::cerr << "agent: " << reason << "; events wait in memory only\n";
  }

  CatchStopSignals();
  CCliSession session;
  if (const int opened = session.Open(options.interfaceName); opened != kExitOk) return opened;

  CMqttLink link(linkOptions);
  SecureWipe(linkOptions.password);  // the link keeps its own copy
  if (!link.Start(&reason)) {
    std::cerr << "ipscanner-cli: " << reason << "\n";
    return kExitFileError;
  }
  SITE_AGENT_RUN_T run;
  run.settings.site = options.site;
  run.settings.brokerText = options.mqtt.url;
  run.settings.heartbeatSeconds = options.heartbeatSeconds;
  run.subnets = CaptureSubnets();
  // The site record keeps the problem events, as for `watch`.
  run.recordProblems = [](const std::vector<DEVICE_ENTRY_T>& table,
                          const SiteProblemMap& problems) {
    if (CSiteRecorder* record = CliSiteRecorder()) record->RecordProblems(table, problems);
  };
  run.stopRequested = [] { return StopRequested(); };
  run.closeCapture = [&session] { session.Close(); };
  RunSiteAgent(run, &link, &spool);
  return kExitOk;
}
