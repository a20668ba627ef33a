#include "cli/site_commands_cli.h"

void RegisterSiteCommands(CLI::App& app, SiteCommandSet* c, std::string* siteName) {
  app.add_option("--site", *siteName,
                 "Site whose record is written and read (default: the settings' site name, "
                 "else \"default\")");

  c->reportCmd = app.add_subcommand(
      "report", "Read every device's settings and write the commissioning report (PDF, CSV)");
  c->reportCmd->add_option("--pdf", c->report.pdfPath, "Write the report to this PDF file")
      ->required();
  c->reportCmd->add_option("--csv", c->report.csvPath,
                           "Also write the device table to this CSV file");
  c->reportCmd->add_option("--since", c->report.since,
                           "Operations log from this date on: YYYY-MM-DD or \"YYYY-MM-DD HH:MM\"");
  c->reportCmd->add_option("--interface", c->report.interfaceName,
                           "Network interface to use (default: config/SystemSetting.ini)");
  c->reportCmd->add_option("--seconds", c->report.seconds, "Discovery time (default 6)")
      ->check(CLI::Range(1, 3600));

  c->historyCmd = app.add_subcommand(
      "history", "Show a device's recorded changes and operations from the site record");
  c->historyCmd->add_option("DEVICE", c->history.device, "MAC (any spelling) or IP address")
      ->required();
  c->historyCmd->add_flag("--json", c->history.json, "Print one JSON document");

  c->sitesCmd = app.add_subcommand(
      "sites", "List the site records on this computer with device counts and last activity");
  c->sitesCmd->add_flag("--json", c->sitesJson, "Print one JSON array");
}

int RunSiteCommand(const SiteCommandSet& c) {
  if (c.reportCmd && *c.reportCmd) return RunReport(c.report);
  if (c.historyCmd && *c.historyCmd) return RunHistory(c.history);
  if (c.sitesCmd && *c.sitesCmd) return RunSites(c.sitesJson);
  return -1;
}
