#pragma once

// Exit codes of ipscanner-cli; scripts rely on them, --help lists them.
enum CliExitCode : int {
  kExitOk = 0,
  kExitUsage = 1,      // bad options or arguments
  kExitNoAdapter = 2,  // the named or configured adapter does not exist or has no IPv4 address
  kExitNoCaptureRights = 3,  // the adapter exists but capture could not be opened (rights)
  kExitFileError = 4,        // a capture file cannot be read or the CSV file cannot be written
  kExitNoAnswer = 5,         // no answer in time, a refused request, or fewer than --expect
};

constexpr const char* kExitCodesHelp =
    "Exit codes:\n"
    "  0  success\n"
    "  1  usage error (bad options or arguments)\n"
    "  2  no adapter: the named or configured interface does not exist or has no IPv4 address\n"
    "  3  no capture rights: run as root or grant cap_net_raw,cap_net_admin (scripts/setup.sh)\n"
    "  4  file error: the capture file cannot be read or the CSV file cannot be written\n"
    "  5  no answer: a device did not answer in time or refused the request, or\n"
    "     scan --expect N found fewer than N devices\n";
