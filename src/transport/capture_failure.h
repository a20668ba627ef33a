#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/adapters.h"
#include "transport/capture_open.h"

// Why the capture could not be opened, as a kind with its parts. The transport and the capture
// relay fill it; each front end words it: the command line and the log in English
// (CaptureFailureText), the window from its catalogs. The words of each kind are one table
// (CaptureFailureWordsOf), whose English texts are the catalogs' keys.

enum class CaptureFailureKind : uint8_t {
  kNone = 0,
  kNoAdapter,          // no adapter with an IPv4 address to open (the installer prompt)
  kLibraryMissing,     // the capture library could not be loaded
  kListFailed,         // the capture devices could not be listed (detail)
  kInterfaceUnusable,  // the interface asked for by name (adapter, interfaceFault)
  kSettingUnusable,    // the interface the setting AdapterName names (adapter, interfaceFault)
  // Opening one adapter's capture failed; `adapter` names it.
  kOpenRefused,       // the capture library refused (openError; detail: its own words)
  kHelperNeedsGroup,  // the helper may be run by members of `group` only
  kHelperMissing,     // helper
  kHelperNotStarted,  // helper; detail: the system's reason
  kHelperNoRights,    // the helper lacks cap_net_raw (helper)
  kHelperTimeout,     // helper
  kHelperEnded,       // the helper ended without opening the capture (helper)
  kHelperSocket,      // the socket to the helper could not be made (detail)
};
inline constexpr CaptureFailureKind kLastCaptureFailureKind = CaptureFailureKind::kHelperSocket;

struct CaptureFailure {
  CaptureFailureKind kind = CaptureFailureKind::kNone;
  std::string adapter;  // the interface concerned
  std::string helper;   // the capture helper's path
  std::string group;    // the group that may run the helper
  CaptureOpenError openError = CaptureOpenError::kNone;
  InterfaceFault interfaceFault = InterfaceFault::kNone;
  std::string detail;  // the capture library's or the system's own words, shown as they are
  // This process may not capture by itself, so the failure is one of rights (the command line
  // exits with its own code for it).
  bool noRights = false;

  bool Failed() const { return kind != CaptureFailureKind::kNone; }
};

// One text with its placeholders %1, %2 and what goes into them. key is null when the text is
// the capture library's own (parts[0]), which no catalog knows.
struct CaptureFailureWords {
  const char* key = nullptr;
  std::vector<std::string> parts;
};

// Text of the prompt shown when no adapter can be opened (kNoAdapter).
inline constexpr const char* kNoAdapterPromptText =
    "No network adapter detected, please install npcap firstly.";
// "cannot open network adapter %1: %2": %1 the adapter, %2 the reason.
inline constexpr const char* kCaptureOpenAdapterKey = "cannot open network adapter %1: %2";

// The reason's words (the whole text for kinds that concern no single adapter's opening).
CaptureFailureWords CaptureFailureWordsOf(const CaptureFailure& failure);
// True when the text is the reason within kCaptureOpenAdapterKey.
bool CaptureFailureNamesAdapter(const CaptureFailure& failure);

// The whole text in English ("cannot open network adapter eth0: the capture helper ... is
// missing"): the command line prints it, the log records it.
std::string CaptureFailureText(const CaptureFailure& failure);
// The key with %1, %2 ... replaced by the parts in one pass (a part that reads "%1" stays).
std::string FillPlaceholders(const char* key, const std::vector<std::string>& parts);
