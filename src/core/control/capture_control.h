#pragma once

#include <functional>
#include <string>

#include "transport/capture_failure.h"
#include "transport/capture_open.h"

// The capture as the front ends see it: opened on the chosen adapter, its failure as a kind with
// its parts (CaptureFailure; CaptureFailureText words it in English), its counters, and its end.
// The transport does the work; the front ends reach it only through here.

// Opens the capture for a command: on interfaceName, or the settings' choice when it is empty.
// captureArp: ARP frames are captured too, for an address probe. False with the reason in
// *failure.
bool OpenCapture(const std::string& interfaceName, bool captureArp, CaptureFailure* failure);
// "" while the open capture's answer port (UDP 8505) is held by this process; otherwise why not
// ("is held by another program"): the capture works, but this computer may then answer device
// replies with ICMP "port unreachable".
std::string AnswerPortProblem();
// Ends the receive threads (safe when nothing is open).
void StopCapture();
// The counters of every open capture added up.
CaptureCounters CaptureCountersNow();
// How the window shows a failure that ends the program at start (its message box, in its own
// words); unset, the English text goes to standard error.
void SetCaptureFailureHook(std::function<void(const CaptureFailure& failure)> hook);
