#pragma once

#include <string>

// Text a device sent, made safe to print: control characters (C0, DEL, C1) become \xNN, so a
// device cannot move the cursor, recolour or retitle the user's terminal.
std::string TerminalSafe(const std::string& text);
