#include "transport/capture_failure.h"

namespace {

const char* InterfaceKey(InterfaceFault fault) {
  switch (fault) {
    case InterfaceFault::kNone:
      return "interface %1 is not an Ethernet capture device";
    case InterfaceFault::kMissing:
      return "interface %1 does not exist";
    case InterfaceFault::kLoopback:
      return "interface %1 is a loopback interface";
    case InterfaceFault::kDown:
      return "interface %1 is not up";
    case InterfaceFault::kNoIpv4:
      return "interface %1 has no IPv4 address";
  }
  return "interface %1 is not an Ethernet capture device";
}

const char* SettingKey(InterfaceFault fault) {
  switch (fault) {
    case InterfaceFault::kNone:
      return "the setting AdapterName in config/SystemSetting.ini names interface %1, which is "
             "not an Ethernet capture device";
    case InterfaceFault::kMissing:
      return "the setting AdapterName in config/SystemSetting.ini names interface %1, which does "
             "not exist";
    case InterfaceFault::kLoopback:
      return "the setting AdapterName in config/SystemSetting.ini names interface %1, which is a "
             "loopback interface";
    case InterfaceFault::kDown:
      return "the setting AdapterName in config/SystemSetting.ini names interface %1, which is "
             "not up";
    case InterfaceFault::kNoIpv4:
      return "the setting AdapterName in config/SystemSetting.ini names interface %1, which has "
             "no IPv4 address";
  }
  return nullptr;
}

// The capture library's refusals that carry no words of its own; the others (a filter it could
// not set, a reason of its own) keep the library's text.
const char* OpenRefusedKey(CaptureOpenError error) {
  switch (error) {
    case CaptureOpenError::kNoRights:
      return "no rights to capture";
    case CaptureOpenError::kNotUp:
      return "the interface is not up";
    case CaptureOpenError::kNoSuchDevice:
      return "no such interface";
    case CaptureOpenError::kNotEthernet:
      return "not an Ethernet adapter";
    case CaptureOpenError::kLoopback:
      return "a loopback interface, not an Ethernet adapter";
    default:
      return nullptr;
  }
}

}  // namespace

CaptureFailureWords CaptureFailureWordsOf(const CaptureFailure& f) {
  switch (f.kind) {
    case CaptureFailureKind::kNone:
      return {nullptr, {""}};
    case CaptureFailureKind::kNoAdapter:
      return {kNoAdapterPromptText, {}};
    case CaptureFailureKind::kLibraryMissing:
      return {"the capture library could not be loaded", {}};
    case CaptureFailureKind::kListFailed:
      return {"cannot list capture devices: %1", {f.detail}};
    case CaptureFailureKind::kInterfaceUnusable:
      return {InterfaceKey(f.interfaceFault), {f.adapter}};
    case CaptureFailureKind::kSettingUnusable:
      return {SettingKey(f.interfaceFault), {f.adapter}};
    case CaptureFailureKind::kOpenRefused: {
      const char* key = OpenRefusedKey(f.openError);
      if (key != nullptr) return {key, {}};
      return {nullptr, {f.detail}};
    }
    case CaptureFailureKind::kHelperNeedsGroup:
      return {
          "capturing needs membership in the group %1: run sudo usermod -aG %1 $USER, then "
          "log in again",
          {f.group}};
    case CaptureFailureKind::kHelperMissing:
      return {"the capture helper %1 is missing", {f.helper}};
    case CaptureFailureKind::kHelperNotStarted:
      return {"cannot start the capture helper %1: %2", {f.helper, f.detail}};
    case CaptureFailureKind::kHelperNoRights:
      return {
          "no rights to capture: the capture helper %1 lacks cap_net_raw (the package grants "
          "it; in a build tree scripts/setup.sh does)",
          {f.helper}};
    case CaptureFailureKind::kHelperTimeout:
      return {"the capture helper %1 did not start in time", {f.helper}};
    case CaptureFailureKind::kHelperEnded:
      return {"the capture helper %1 ended without opening the capture", {f.helper}};
    case CaptureFailureKind::kHelperSocket:
      return {"cannot create the capture helper's socket: %1", {f.detail}};
  }
  return {nullptr, {f.detail}};
}

bool CaptureFailureNamesAdapter(const CaptureFailure& f) {
  return f.kind >= CaptureFailureKind::kOpenRefused && !f.adapter.empty();
}

std::string FillPlaceholders(const char* key, const std::vector<std::string>& parts) {
  std::string text;
  for (const char* c = key; *c != '\0'; ++c) {
    const size_t index =
        c[0] == '%' && c[1] >= '1' && c[1] <= '9' ? size_t(c[1] - '1') : parts.size();
    if (index < parts.size()) {
      text += parts[index];
      ++c;
    } else {
      text += *c;
    }
  }
  return text;
}

std::string CaptureFailureText(const CaptureFailure& failure) {
  const CaptureFailureWords words = CaptureFailureWordsOf(failure);
  const std::string reason = words.key != nullptr ? FillPlaceholders(words.key, words.parts)
                                                  : (words.parts.empty() ? "" : words.parts[0]);
  if (!CaptureFailureNamesAdapter(failure)) return reason;
  return FillPlaceholders(kCaptureOpenAdapterKey, {failure.adapter, reason});
}
