#pragma once

#include <map>
#include <string>

#include "core/common/device_entry.h"
#include "record/site_operation.h"

class CSiteRecorder;

// The site record of one ipscanner-cli run. The site is --site NAME, else the one chosen in the
// settings. The record opens with the first device session and ends when the command returns
// (main closes it), so an operation recorded after the capture closed is still written.

// Chosen before the command runs; false when the name is not a valid site name.
bool SetCliSiteName(const std::string& name);
std::string CliSiteName();

// Opens the site database and hands the core's answers and reports to it. A notice (damaged file
// moved aside, cannot record) goes to standard error. Safe to call twice.
void OpenCliSiteRecord();
// The recorder, or null before OpenCliSiteRecord.
CSiteRecorder* CliSiteRecorder();
// Operations are recorded with RecordSiteOperation (site/site_operation_log.h), which reaches
// this record while it is open.
// Writes what is queued and closes the record.
void CloseCliSiteRecord();

// An operation on one device that ends at one of several returns: End(code) records it with the
// result the exit code means and returns the code.
class CCliDeviceOperation {
public:
  CCliDeviceOperation(ESiteOperation kind, std::map<std::string, std::string> parameters,
                      const DEVICE_ENTRY_T& device)
      : m_kind(kind), m_parameters(std::move(parameters)), m_mac(device.mac) {}
  int End(int exitCode, const std::string& detail = "");

private:
  ESiteOperation m_kind;
  std::map<std::string, std::string> m_parameters;
  std::string m_mac;
};
