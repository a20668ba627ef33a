// The capture's failures in English, as the command line prints them and the log records them:
// every kind with its parts gives the text the transport has always written, and the capture
// relay reports its real failures as kinds with their parts.

#include "transport/capture_failure.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "transport/capture_relay.h"

namespace {

CaptureFailure Make(CaptureFailureKind kind, std::string adapter = "", std::string detail = "") {
  CaptureFailure f;
  f.kind = kind;
  f.adapter = std::move(adapter);
  f.detail = std::move(detail);
  f.helper = "/usr/lib/ipscanner/ipscanner-capture";
  f.group = "ipscanner";
  return f;
}

CaptureFailure Refused(CaptureOpenError error, std::string detail) {
  CaptureFailure f = Make(CaptureFailureKind::kOpenRefused, "eth0", std::move(detail));
  f.openError = error;
  return f;
}

CaptureFailure Unusable(CaptureFailureKind kind, InterfaceFault fault) {
  CaptureFailure f = Make(kind, "eth9");
  f.interfaceFault = fault;
  return f;
}

TEST(CaptureFailureText, EveryKindReadsAsTheTransportAlwaysWroteIt) {
  const std::string helper = "/usr/lib/ipscanner/ipscanner-capture";
  const std::string setting =
      "the setting AdapterName in config/SystemSetting.ini names interface eth9, which ";
  struct Case {
    CaptureFailure failure;
    std::string text;
  };
  const Case cases[] = {
      {Make(CaptureFailureKind::kNoAdapter),
       "No network adapter detected, please install npcap firstly."},
      {Make(CaptureFailureKind::kLibraryMissing), "the capture library could not be loaded"},
      {Make(CaptureFailureKind::kListFailed, "", "socket: Permission denied"),
       "cannot list capture devices: socket: Permission denied"},
      {Unusable(CaptureFailureKind::kInterfaceUnusable, InterfaceFault::kNone),
       "interface eth9 is not an Ethernet capture device"},
      {Unusable(CaptureFailureKind::kInterfaceUnusable, InterfaceFault::kMissing),
       "interface eth9 does not exist"},
      {Unusable(CaptureFailureKind::kInterfaceUnusable, InterfaceFault::kLoopback),
       "interface eth9 is a loopback interface"},
      {Unusable(CaptureFailureKind::kInterfaceUnusable, InterfaceFault::kDown),
       "interface eth9 is not up"},
      {Unusable(CaptureFailureKind::kInterfaceUnusable, InterfaceFault::kNoIpv4),
       "interface eth9 has no IPv4 address"},
      {Unusable(CaptureFailureKind::kSettingUnusable, InterfaceFault::kMissing),
       setting + "does not exist"},
      {Unusable(CaptureFailureKind::kSettingUnusable, InterfaceFault::kLoopback),
       setting + "is a loopback interface"},
      {Unusable(CaptureFailureKind::kSettingUnusable, InterfaceFault::kDown),
       setting + "is not up"},
      {Unusable(CaptureFailureKind::kSettingUnusable, InterfaceFault::kNoIpv4),
       setting + "has no IPv4 address"},
      {Refused(CaptureOpenError::kNoRights, "no rights to capture"),
       "cannot open network adapter eth0: no rights to capture"},
      {Refused(CaptureOpenError::kNotUp, "the interface is not up"),
       "cannot open network adapter eth0: the interface is not up"},
      {Refused(CaptureOpenError::kNoSuchDevice, "no such interface"),
       "cannot open network adapter eth0: no such interface"},
      {Refused(CaptureOpenError::kNotEthernet, "not an Ethernet adapter"),
       "cannot open network adapter eth0: not an Ethernet adapter"},
      {Refused(CaptureOpenError::kLoopback, "a loopback interface, not an Ethernet adapter"),
       "cannot open network adapter eth0: a loopback interface, not an Ethernet adapter"},
      // The capture library's own words stay as they are, "%1" included.
      {Refused(CaptureOpenError::kOther, "socket: Operation not permitted %1"),
       "cannot open network adapter eth0: socket: Operation not permitted %1"},
      {Refused(CaptureOpenError::kFilter, "filter: syntax error"),
       "cannot open network adapter eth0: filter: syntax error"},
      {Make(CaptureFailureKind::kHelperNeedsGroup, "eth0"),
       "cannot open network adapter eth0: capturing needs membership in the group ipscanner: run "
       "sudo usermod -aG ipscanner $USER, then log in again"},
      {Make(CaptureFailureKind::kHelperMissing, "eth0"),
       "cannot open network adapter eth0: the capture helper " + helper + " is missing"},
      {Make(CaptureFailureKind::kHelperNotStarted, "eth0", "Exec format error"),
       "cannot open network adapter eth0: cannot start the capture helper " + helper +
           ": Exec format error"},
      {Make(CaptureFailureKind::kHelperNoRights, "eth0"),
       "cannot open network adapter eth0: no rights to capture: the capture helper " + helper +
           " lacks cap_net_raw (the package grants it; in a build tree scripts/setup.sh does)"},
      {Make(CaptureFailureKind::kHelperTimeout, "eth0"),
       "cannot open network adapter eth0: the capture helper " + helper + " did not start in time"},
      {Make(CaptureFailureKind::kHelperEnded, "eth0"),
       "cannot open network adapter eth0: the capture helper " + helper +
           " ended without opening the capture"},
      {Make(CaptureFailureKind::kHelperSocket, "eth0", "Too many open files"),
       "cannot open network adapter eth0: cannot create the capture helper's socket: Too many "
       "open files"},
      // An adapter named like a placeholder keeps its name.
      {Make(CaptureFailureKind::kHelperMissing, "%2"),
       "cannot open network adapter %2: the capture helper " + helper + " is missing"},
  };
  for (const Case& c : cases) EXPECT_EQ(CaptureFailureText(c.failure), c.text) << c.text;
}

// What the relay really reports when its helper is missing, may not be run, or ends at once.
TEST(CaptureFailureText, TheRelayReportsItsFailuresAsKindsWithTheirParts) {
  char dirTemplate[] = "/tmp/ips-capture-failure-XXXXXX";
  ASSERT_NE(mkdtemp(dirTemplate), nullptr);
  const std::string dir = dirTemplate;
  const std::string missing = dir + "/ipscanner-capture";
  // Not executable for us, as the installed helper (root:ipscanner 0750) is for a user outside
  // the group.
  const std::string locked = dir + "/locked-capture";
  std::ofstream(locked) << "#!/bin/sh\n";
  ASSERT_EQ(chmod(locked.c_str(), 0644), 0);
  // The message names the file's group, as the package sets it; root's group stands for it.
  struct stat info {};
  ASSERT_EQ(stat(locked.c_str(), &info), 0);
  const group* owner = info.st_gid == 0 ? nullptr : getgrgid(info.st_gid);
  const std::string groupName = owner != nullptr ? owner->gr_name : "ipscanner";

  struct Case {
    std::string helper;
    CaptureFailureKind kind;
    std::string text;
  };
  const Case cases[] = {
      {locked, CaptureFailureKind::kHelperNeedsGroup,
       "cannot open network adapter veth-x: capturing needs membership in the group " + groupName +
           ": run sudo usermod -aG " + groupName + " $USER, then log in again"},
      {missing, CaptureFailureKind::kHelperMissing,
       "cannot open network adapter veth-x: the capture helper " + missing + " is missing"},
      {"/bin/true", CaptureFailureKind::kHelperEnded,
       "cannot open network adapter veth-x: the capture helper /bin/true ended without opening "
       "the capture"},
  };
  for (const Case& c : cases) {
    CaptureFailure failure;
    EXPECT_EQ(CCaptureRelay::Start(c.helper, "veth-x", CaptureTraffic::kDeviceProtocol, &failure),
              nullptr);
    EXPECT_EQ(failure.kind, c.kind) << c.helper;
    EXPECT_EQ(failure.adapter, "veth-x");
    EXPECT_EQ(failure.helper, c.helper);
    EXPECT_EQ(CaptureFailureText(failure), c.text);
  }
  unlink(locked.c_str());
  rmdir(dir.c_str());
}

}  // namespace
