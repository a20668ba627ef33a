#pragma once

#include <optional>
#include <string>

// Where a device command gets the device's web password. Never from the command line (other
// users see it in the process list): in this order from --password-file, from the environment
// variable IPSCANNER_PASSWORD, or from a prompt without echo when standard input is a terminal.
constexpr const char* kPasswordEnvironment = "IPSCANNER_PASSWORD";

// Moves a secret out of the environment variable `name` into the process: its text in the
// environment block (which /proc/PID/environ shows for as long as the process runs) is
// overwritten and the variable removed. Nothing when the variable is not set.
std::optional<std::string> TakeSecretFromEnvironment(const char* name);

// Moves IPSCANNER_PASSWORD out of the environment into the process (its text in the environment
// is overwritten, the variable removed), so no child process (the web server, a helper) inherits
// it. main calls it first; ReadDevicePassword then reads the taken value.
void TakePasswordFromEnvironment();

// 0 and the password (possibly empty: the caller refuses empty credentials), or an exit code
// with the reason written to standard error: the file cannot be read (4), or no source at all (10).
int ReadDevicePassword(const std::string& passwordFile, std::string* password);

// The first line of a password file (line end removed): 0, or 4 with the reason on stderr.
int ReadPasswordFile(const std::string& path, std::string* password);

// Asks a yes/no question on the terminal; true only for an answer starting with y or Y.
bool ConfirmOnTerminal(const std::string& question);

// Whether standard input is a terminal (prompts and confirmations are possible).
bool StdinIsTerminal();
