#pragma once

// The running instance's side of the single-instance rule. The main window marks itself as the
// desktop's main window as the last step of its initialisation; from then on a second start
// finds it (through the local socket of the instance's run folder) and asks it to come to the
// front. The restart hand-over removes that mark and leaves the hand-over marker instead.
//
//   void CMainWnd::InitWindow() { ...; SetMainWindowProperty(this); }
//   // restart (a change of network adapter):
//   HandOverToSuccessor("CSystemNetworkView::RestartIPScanner");   // does not return

class QWidget;

// Starts answering activation requests for `window`. false when the socket cannot be set up.
bool SetMainWindowProperty(QWidget* window);
// Stops answering; a second start then no longer finds this instance's window.
void RemoveMainWindowProperty();
// Marks this instance as handing over to a successor. false when the marker cannot be written.
bool SetHandOverProperty();

// Brings `window` to the front: restored when minimised, raised and activated, and the same for
// its last active pop-up (the modal dialog on top of it). Logs "activated by a second start".
void ActivateMainWindow(QWidget* window);

// The restart hand-over: the main window stops answering second starts, the hand-over marker is
// set, the instance lock released and the program's executable started again; then this
// process exits with code 1 at once, without emptying the download folder. `who` names the
// caller in the log lines ("%s:Success!", "%s:CreateFail!", "%s:SetProp Failed!").
[[noreturn]] void HandOverToSuccessor(const char* who);
