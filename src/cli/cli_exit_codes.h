#pragma once

// Exit codes of ipscanner-cli; scripts rely on them, --help lists them. Every command uses this
// one table, so a code means the same thing whichever command returns it.
enum CliExitCode : int {
  kExitOk = 0,
  kExitUsage = 1,      // bad options or arguments
  kExitNoAdapter = 2,  // the named or configured adapter does not exist or has no IPv4 address
  kExitNoCaptureRights = 3,  // capture could not be opened: not in the capture group, no rights
  kExitFileError = 4,        // a capture file cannot be read or the CSV file cannot be written
  kExitNoAnswer = 5,         // no answer in time, a refused request, or fewer than --expect
  kExitDeviceNotFound = 6,   // the named device did not answer the discovery
  kExitAuthFailed = 7,       // the device refused the user name and password
  kExitNoAck = 8,            // the device did not acknowledge the request in time
  kExitAckNotOk = 9,         // the device acknowledged the request with a result other than "OK"
  kExitBadInput = 10,        // a value failed the device view's checks (address, length, image)
  kExitSomeFailed = 11,      // a run over several devices ended with at least one failed device
  kExitAuthNoAnswer = 12,    // the device did not answer the authentication
  kExitNotSent = 13,         // the request could not be sent on the adapter
  kExitIncompatible = 14,    // the image is of another firmware family than a device (or unknown)
  kExitCertificateRefused = 15,  // the broker's TLS certificate did not pass the check
  kExitTooFew = 16,              // fewer devices than --expect answered; nothing was sent
};

constexpr const char* kExitCodesHelp =
    "Exit codes:\n"
    "  0  success\n"
    "  1  usage error (bad options or arguments)\n"
    "  2  no adapter: the named or configured interface does not exist or has no IPv4 address\n"
    "  3  no capture rights: join the group ipscanner (sudo usermod -aG ipscanner $USER, then\n"
    "     log in again) or run as root\n"
    "  4  file error: a file cannot be read or written (capture, CSV, password file, image)\n"
    "  5  no answer: a device did not answer in time or refused the request, or\n"
    "     scan --expect N found fewer than N devices\n"
    "  6  device not found: the named device did not answer the discovery\n"
    "  7  authentication failed: wrong user name or password (assign: the devices tried\n"
    "     refused it and none accepted it; after three refusals the others are not tried)\n"
    "  8  no acknowledge: the device did not confirm the request in time\n"
    "  9  acknowledge not OK: the device answered the request with an error\n"
    "  10  bad input: a value failed the checks (IP address, gateway, mask, DNS, image name)\n"
    "  11  some devices failed: a run over several devices did not succeed on every one\n"
    "  12  the device did not answer the authentication\n"
    "  13  not sent: the request could not be sent on the adapter\n"
    "  14  incompatible: upgrade found devices of another firmware family than the image (or\n"
    "      of an unknown one); nothing was sent. --force-incompatible upgrades them too,\n"
    "      --skip-incompatible upgrades the others\n"
    "  15  certificate refused: the MQTT broker's TLS certificate did not pass the check (not\n"
    "      signed by the --ca file or the system's CAs, expired, or for another host name)\n"
    "  16  too few: static or assign with --expect N found fewer than N devices by the end of\n"
    "      --seconds; nothing was sent\n";
