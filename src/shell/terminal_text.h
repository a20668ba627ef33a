#pragma once

#include <string>
#include <string_view>

// A text a device sent, made safe to print: C0 control characters, DEL and the C1 controls
// (U+0080 to U+009F) become visible escapes (\n, \r, \t, \e, \xNN, \u0080 ...) so that no
// device, and nobody forging its answers, can move the cursor, recolour or retitle the
// user's terminal. A backslash is doubled so an escape in the output is never ambiguous.
std::string TerminalSafe(std::string_view text);
