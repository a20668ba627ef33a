#pragma once

#include <map>
#include <string>

// The agent's configuration file (/etc/ipscanner/agent-NAME.conf for the service): one
// "key = value" a line, '#' starts a comment line. Keys: site, mqtt, ca, user, password_file,
// interface, spool, allow_plaintext_password. The password itself is never in this file's lines
// that other users may read: password_file names a file only the agent's user can read.
struct AGENT_CONFIG_T {
  std::map<std::string, std::string> values;
};

// False with "line N: reason" for an unknown key, a line without '=', a repeated key, or a file
// that cannot be read.
bool ReadAgentConfig(const std::string& path, AGENT_CONFIG_T* config, std::string* error);

// A yes/no value: yes, true, on, 1 or no, false, off, 0. False for anything else.
bool ParseConfigSwitch(const std::string& value, bool* on);
