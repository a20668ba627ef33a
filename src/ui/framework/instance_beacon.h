#pragma once

// The running instance's side of the single-instance rule. The main window marks itself as the
// desktop's main window as the last step of its initialisation; from then on a second start
// finds it (through the local socket of the instance's run folder) and asks it to come to the
// front. The restart hand-over removes that mark and leaves the hand-over marker instead.
//
//   void CMainWnd::InitWindow() { ...; SetMainWindowProperty(this); }
//   // restart:
//   RemoveMainWindowProperty(); SetHandOverProperty(); CloseInstanceSemaphore();
//   StartOwnExecutable(); exit(1);

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
