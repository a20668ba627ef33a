#pragma once

// Ctrl-C and SIGTERM end the long-running commands (watch, agent) cleanly: the handlers only set
// a flag that the command's loop looks at.
void CatchStopSignals();  // also clears the flag
bool StopRequested();
