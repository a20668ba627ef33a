#pragma once

#include <CLI/CLI.hpp>
#include <string>

// report, history and sites: the site record on the command line.
struct ReportOptions {
  std::string pdfPath;
  std::string csvPath;
  std::string since;  // YYYY-MM-DD [HH:MM], local time
  std::string interfaceName;
  int seconds = 6;  // discovery time before the settings are read
};

struct HistoryOptions {
  std::string device;  // MAC in any spelling or IP
  bool json = false;
};

struct SiteCommandSet {
  ReportOptions report;
  HistoryOptions history;
  bool sitesJson = false;
  CLI::App* reportCmd = nullptr;
  CLI::App* historyCmd = nullptr;
  CLI::App* sitesCmd = nullptr;
};

// Adds the global --site option and the three commands.
void RegisterSiteCommands(CLI::App& app, SiteCommandSet* commands, std::string* siteName);

// The exit code of the site command that was given, or -1 when none of them was.
int RunSiteCommand(const SiteCommandSet& commands);

int RunReport(const ReportOptions& options);
int RunHistory(const HistoryOptions& options);
int RunSites(bool json);
