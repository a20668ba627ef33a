#pragma once

#include <string>

// One running instance per user. The instance lock is an flock on a file in the user's run
// folder; the running instance also listens on a local socket there once its main window is up,
// and a second start asks it over that socket to come to the front. A restarting instance leaves
// a hand-over marker (its pid) so that its successor runs even while the lock is still taken.
//
// Run folder: $XDG_RUNTIME_DIR/ipscanner when that is usable, else /tmp/ipscanner-<uid>
// (mode 0700, owned by us).

// The folder holding the lock, the socket and the marker; created when missing. "" on failure.
std::string InstanceRunDir();
std::string InstanceLockPath();
std::string InstanceSocketPath();
std::string HandOverMarkerPath();

// true: this process may run (it holds the lock, or the lock could not be set up, or the
// holder is handing over). false: another instance owns the desktop; it has been asked to
// raise its window when it has one.
bool CheckSingleInstance();

// Releases the instance lock if held. Used by the restart hand-over before the successor starts.
void CloseInstanceSemaphore();

// true while this process holds the instance lock.
bool HoldsInstanceLock();

// Hand-over marker: written by an instance that is about to exit in favour of a successor.
// It counts only while the process named in it is alive.
bool SetHandOverMarker();
void ClearHandOverMarker();
bool HandOverMarkerActive();
// The pid named in a live marker, 0 when there is none.
int HandOverMarkerPid();

// Client side of the activation request: connects to the running instance's socket, asks it to
// raise its window and waits up to timeoutMs for the answer. false when nobody listens.
bool RequestActivation(int timeoutMs);
