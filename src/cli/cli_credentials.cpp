#include "cli/cli_credentials.h"

#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>

#include "cli/cli_exit_codes.h"
#include "shell/secure_wipe.h"

namespace {

void StripLineEnd(std::string* text) {
  while (!text->empty() && (text->back() == '\n' || text->back() == '\r')) text->pop_back();
}

std::string PromptWithoutEcho(const std::string& prompt) {
  std::cerr << prompt << std::flush;
  termios saved{};
  const bool terminal = tcgetattr(STDIN_FILENO, &saved) == 0;
  if (terminal) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  std::string line;
  std::getline(std::cin, line);
  if (terminal) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
  std::cerr << "\n";
  StripLineEnd(&line);
  return line;
}

std::optional<std::string>& EnvironmentPassword() {
  static std::optional<std::string> taken;
  return taken;
}

}  // namespace

std::optional<std::string> TakeSecretFromEnvironment(const char* name) {
  char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  std::string secret(value);
  SecureWipe(value, std::strlen(value));
  unsetenv(name);
  return secret;
}

void TakePasswordFromEnvironment() {
  if (std::optional<std::string> taken = TakeSecretFromEnvironment(kPasswordEnvironment))
    EnvironmentPassword() = std::move(taken);
}

bool StdinIsTerminal() { return isatty(STDIN_FILENO) == 1; }

int ReadPasswordFile(const std::string& path, std::string* password) {
  std::ifstream file(path);
  if (!file) {
    std::cerr << "ipscanner-cli: cannot read the password file " << path << "\n";
    return kExitFileError;
  }
  std::getline(file, *password);  // the first line; an empty file gives an empty password
  StripLineEnd(password);
  return kExitOk;
}

int ReadDevicePassword(const std::string& passwordFile, std::string* password) {
  if (!passwordFile.empty()) return ReadPasswordFile(passwordFile, password);
  TakePasswordFromEnvironment();  // when main has not taken it yet
  if (const std::optional<std::string>& fromEnvironment = EnvironmentPassword()) {
    *password = *fromEnvironment;
    return kExitOk;
  }
  if (StdinIsTerminal()) {
    *password = PromptWithoutEcho("Password: ");
    return kExitOk;
  }
  std::cerr << "ipscanner-cli: no password: set " << kPasswordEnvironment
            << ", use --password-file FILE, or run on a terminal to be asked\n";
  return kExitBadInput;
}

bool ConfirmOnTerminal(const std::string& question) {
  std::cerr << question << " [y/N] " << std::flush;
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}
